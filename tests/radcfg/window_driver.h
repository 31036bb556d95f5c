#pragma once

#include "connect_dialog.h"
#include "main_window.h"
#include "modal_helper.h"
#include "widget_access.h"

#include <QAction>
#include <QComboBox>
#include <QPushButton>

namespace kq::testing {

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
