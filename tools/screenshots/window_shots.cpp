// Saves pictures of the configurator's window against the simulated
// satellite: the beacon receiver after a few beacons, the UHF panel after a
// read and compared with a configuration file, the OBC panel after a listing and during an upload
// at the radio link's pace, the X-band panel and its monitor.

#include "app_settings.h"
#include "compare_dialog.h"
#include "connect_dialog.h"
#include "main_window.h"
#include "meta_types.h"
#include "modal_helper.h"
#include "monitor_widget.h"
#include "satellite.h"
#include "test_environment.h"
#include "virtual_serial_pair.h"
#include "widget_access.h"
#include "window_driver.h"
#include "xband_transmitter.h"
#include "xband_widget.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include <cstdio>
#include <functional>

namespace {

bool wait_until(const std::function<bool()>& done, int timeout_ms)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeout_ms)
            return false;
        QTest::qWait(20);
    }
    return true;
}

bool save(QWidget& window, const QString& file)
{
    // Let the log view take its batched lines first.
    wait_until([] { return false; }, 1000);
    if (!window.grab().save(file)) {
        std::fprintf(stderr, "could not write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

// The X-band panel after a read, and its monitor after a minute of samples.
bool xband_shots(radcfg::MainWindow& window, const QString& out)
{
    kq::satsim::virtual_serial_pair pair;
    kq::satsim::xband_transmitter transmitter(pair);
    transmitter.start();
    radcfg::connect_dialog::set_extra_ports({pair.port_name()});
    kq::testing::connect_window(window, 6, pair.port_name());
    auto* panel = window.findChild<radcfg::xband_widget*>();
    if (!panel) {
        std::fprintf(stderr, "no X-band panel\n");
        return false;
    }
    QPushButton* read = nullptr;
    for (QPushButton* b : panel->findChildren<QPushButton*>()) {
        if (b->text() == QStringLiteral("&Read"))
            read = b;
    }
    read->click();
    if (!wait_until([&] { return read->isEnabled() && window.current_worker(); }, 10000) ||
        !save(window, out + QStringLiteral("/xband-panel.png")))
        return false;
    panel->findChild<QTabWidget*>()->setCurrentWidget(panel->monitor());
    for (QListWidget* list : panel->monitor()->findChildren<QListWidget*>()) {
        for (int i = 0; i < list->count(); ++i) {
            const QString name = list->item(i)->data(Qt::UserRole).toString();
            list->item(i)->setCheckState(name == QLatin1String("board-temp") ||
                                                 name == QLatin1String("pa-temp") ||
                                                 name == QLatin1String("supply")
                                             ? Qt::Checked
                                             : Qt::Unchecked);
        }
    }
    for (QDoubleSpinBox* interval : panel->monitor()->findChildren<QDoubleSpinBox*>())
        interval->setValue(0.5);
    for (QSpinBox* span : panel->monitor()->findChildren<QSpinBox*>())
        span->setValue(60);
    panel->monitor()->start();
    wait_until([&] { return panel->monitor()->sample_count() >= 60; }, 60000);
    const bool saved = save(window, out + QStringLiteral("/xband-monitor.png"));
    panel->monitor()->pause();
    wait_until([&] { return !panel->monitor()->running(); }, 5000);
    kq::testing::answer_question(QMessageBox::Yes);
    kq::testing::child<QAction>(window, "action_close_connection")->trigger();
    transmitter.stop();
    return saved;
}

} // namespace

int main(int argc, char** argv)
{
    kq::testing::prepare_test_environment(); // the user's settings stay untouched
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("kqconf"));
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("doc/images");
    QDir().mkpath(out);

    QTemporaryDir logs;
    QSettings().clear(); // every run starts as a first start
    radcfg::write_default_settings();
    QSettings().setValue(QStringLiteral("common/log_location"), logs.path());
    radcfg::register_meta_types();

    kq::satsim::satellite sat;
    sat.with_obc([](kq::satsim::obc_computer& obc) {
        obc.files().insert(QStringLiteral("README.TXT"), "On-board computer file store.\n");
        obc.files().insert(QStringLiteral("CONFIG.INI"), QByteArray(420, 'c'));
        obc.files().insert(QStringLiteral("TLM0001.LOG"), QByteArray(5300, 't'));
        obc.files().insert(QStringLiteral("APP.BIN"), QByteArray(36000, 'a'));
        return 0;
    });
    radcfg::connect_dialog::set_extra_ports({sat.port_name()});
    radcfg::MainWindow window;
    window.resize(1400, 700);
    window.show();

    using kq::testing::child;
    kq::testing::connect_window(window, 5, sat.port_name());
    child<QPushButton>(window, "btn_start")->click();
    sat.with_local([](kq::satsim::uhf_transceiver& t) {
        t.set_beacon(700, "CQ", "QQ9ZZZ", "KQ SAT ONLINE T=21C V=7.9");
        return 0;
    });
    auto* beacons = child<QListWidget>(window, "lb_x25");
    if (!wait_until([&] { return beacons->count() >= 4; }, 20000)) {
        std::fprintf(stderr, "no beacons heard\n");
        auto* log = child<QListWidget>(window, "lb_log");
        for (int i = 0; log && i < log->count(); ++i)
            std::fprintf(stderr, "%s\n", qPrintable(log->item(i)->text()));
        return 1;
    }
    if (!save(window, out + QStringLiteral("/beacon-receiver.png")))
        return 1;
    child<QPushButton>(window, "btn_stop")->click();
    wait_until([&] { return child<QPushButton>(window, "btn_start")->isEnabled(); }, 5000);

    kq::testing::answer_question(QMessageBox::Yes);
    child<QAction>(window, "action_close_connection")->trigger();
    kq::testing::connect_window(window, 1, sat.port_name());
    auto* read = child<QPushButton>(window, "btn_read");
    if (!read) {
        std::fprintf(stderr, "no UHF panel\n");
        return 1;
    }
    read->click();
    const bool read_done = wait_until(
        [&] {
            return read->isEnabled() &&
                   child<QLabel>(window, "lbl_version")->text() != QStringLiteral("\u2014");
        },
        20000);
    if (!read_done) {
        std::fprintf(stderr, "the read did not finish\n");
        return 1;
    }
    if (!save(window, out + QStringLiteral("/uhf-panel.png")))
        return 1;

    // Compare against a configuration file that sets a few values otherwise.
    QTemporaryDir configs;
    const QString unit = QDir(configs.path()).filePath(QStringLiteral("flight-unit-2.json"));
    QFile config(unit);
    if (!config.open(QIODevice::WriteOnly))
        return 1;
    config.write(R"({"format": "kq-module-parameters", "format_version": 1, "module": "uhf",
        "parameters": {"freq": 437.05, "beacon": true, "text-beacon-period": 30,
                       "dst-call": "CQ", "src-call": "KQ2SAT", "pipe-timeout": 10}})");
    config.close();
    bool compared = false;
    kq::testing::choose_file(unit, [&](QFileDialog*) {
        kq::testing::when_modal<radcfg::compare_dialog>([&](radcfg::compare_dialog* d) {
            compared = save(*d, out + QStringLiteral("/uhf-compare.png"));
            d->reject();
        });
    });
    child<QPushButton>(window, "btn_compare")->click();
    if (!wait_until([&] { return compared; }, 20000)) {
        std::fprintf(stderr, "no comparison shown\n");
        return 1;
    }

    kq::testing::answer_question(QMessageBox::Yes);
    child<QAction>(window, "action_close_connection")->trigger();
    kq::testing::connect_window(window, 4, sat.port_name());
    auto* dir = child<QPushButton>(window, "btn_dir");
    auto* listing = child<QTreeView>(window, "fl_obc");
    dir->click();
    if (!wait_until([&] { return listing->model()->rowCount() > 0 && dir->isEnabled(); }, 30000)) {
        std::fprintf(stderr, "no OBC listing\n");
        auto* log = child<QListWidget>(window, "lb_log");
        for (int i = 0; log && i < log->count(); ++i)
            std::fprintf(stderr, "%s\n", qPrintable(log->item(i)->text()));
        return 1;
    }
    listing->setCurrentIndex(listing->model()->index(0, 0));
    if (!save(window, out + QStringLiteral("/obc-panel.png")))
        return 1;

    // An upload at the pace of the radio link, caught with its figures.
    QTemporaryDir local;
    const QString file = QDir(local.path()).filePath(QStringLiteral("TLM0002.LOG"));
    QFile data(file);
    if (!data.open(QIODevice::WriteOnly) || data.write(QByteArray(48 * 1024, 'x')) < 0)
        return 1;
    data.close();
    sat.set_pacing(true);
    auto* tree = child<QTreeView>(window, "fl_local");
    auto* files = qobject_cast<QFileSystemModel*>(tree->model());
    wait_until([&] { return files->index(file).isValid(); }, 5000);
    tree->setCurrentIndex(files->index(file));
    tree->scrollTo(files->index(file), QAbstractItemView::PositionAtCenter);
    child<QPushButton>(window, "btn_upload")->click();
    auto* status = child<QLabel>(window, "lbl_operation");
    if (!wait_until([&] { return status->text().contains(QStringLiteral("left")); }, 60000)) {
        std::fprintf(stderr, "no upload progress: %s\n", qPrintable(status->text()));
        return 1;
    }
    wait_until([] { return false; }, 3000); // a few blocks for a steady rate
    if (!save(window, out + QStringLiteral("/obc-upload.png")))
        return 1;
    kq::testing::answer_question(QMessageBox::Yes);
    child<QAction>(window, "action_close_connection")->trigger();
    return xband_shots(window, out) ? 0 : 1;
}
