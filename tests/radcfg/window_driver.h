#pragma once

#include "connect_dialog.h"
#include "main_window.h"
#include "modal_helper.h"
#include "widget_access.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>
#include <QSettings>

namespace kq::testing {

// A first start with quick command timing for the simulator's prompt
// answers, the panels' logs in `log_dir`.
inline void reset_window_settings(const QString& log_dir, int timeout_pipe = 2500,
                                  int timeout_m = 500, int timeout_l = 800)
{
    QSettings s;
    s.clear();
    s.setValue("command/timeout_pipe", timeout_pipe);
    s.setValue("command/timeout_m", timeout_m);
    s.setValue("command/timeout_l", timeout_l);
    s.setValue("common/log_location", log_dir);
}

// Opens "New connection" in the window, picks the connection type and the
// port, and connects, as a user would.
inline void connect_window(radcfg::MainWindow& window, int type, const QString& port)
{
    when_modal<radcfg::connect_dialog>([type, port](radcfg::connect_dialog* d) {
        d->findChild<QComboBox*>("cb_connection")->setCurrentIndex(type);
        d->findChild<QComboBox*>("cb_serial_port")->setCurrentText(port);
        d->findChild<QPushButton*>("btn_connect")->click();
    });
    child<QAction>(window, "actionnew_connection")->trigger();
}

} // namespace kq::testing
