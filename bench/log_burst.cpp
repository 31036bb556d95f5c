// 100 000 protocol lines logged in verbose mode into a panel's log: time per
// line (each line reaches the disk before log() returns) and how often the
// view was touched.

#include "bench_support.h"
#include "panelkit/log_controller.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QListWidget>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using kq::gui::log_controller;
using kq::gui::log_item;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir dir; // settings and log file stay away from the user's
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    const int lines = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    QSettings().setValue(QStringLiteral("common/log_location"), dir.path());

    QListWidget view;
    log_controller log(nullptr, QStringLiteral("burst"), &view);
    log.set_is_verbose(true);
    const QString line = QStringLiteral("KQ+D11FR000012340080\r 1C2B3A4F");

    QElapsedTimer t;
    t.start();
    for (int i = 0; i < lines; ++i) {
        log.log(log_item::KQTTC, line);
        if (i % 1000 == 0)
            app.processEvents(); // the window's event loop runs between bursts
    }
    const double us = t.nsecsElapsed() / 1000.0 / lines;
    const double seconds = t.elapsed() / 1000.0;
    app.processEvents();
    std::printf("log_burst: %d KQTTC lines, verbose, to file and view\n", lines);
    std::printf("  %.2f us per line (goal: at most 50)\n", us);
    kq::bench::figure("traffic log, cost per line", us, "us", true, 50);
    std::printf("  view updated %d times in %.2f s (goal: at most one per %d ms, i.e. %d)\n",
                log.view_updates(), seconds, log_controller::cache_interval_ms,
                int(seconds * 1000 / log_controller::cache_interval_ms) + 1);
    kq::bench::figure("traffic log, view updates", log.view_updates(), "", true,
                      int(seconds * 1000 / log_controller::cache_interval_ms) + 1);
    std::printf("  rows in the view: %d\n", view.count());
    return 0;
}
