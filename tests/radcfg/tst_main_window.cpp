#include "connect_dialog.h"
#include "file_contents.h"
#include "firmware_image.h"
#include "main_window.h"
#include "meta_types.h"
#include "modal_helper.h"
#include "obc_worker.h"
#include "random_bytes.h"
#include "satellite.h"
#include "test_environment.h"
#include "uhf_worker.h"
#include "widget_access.h"
#include "window_driver.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

using kq::testing::answer_question;
using kq::testing::when_modal;
using radcfg::connect_dialog;
using radcfg::MainWindow;

using kq::testing::child;

namespace {

QAction* action(const MainWindow& w, const char* name)
{
    return child<QAction>(w, name);
}

} // namespace

// The main window driven as a user would, against the simulator on a
// pseudo-terminal.
class tst_main_window : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void starts_unconnected();
    void new_connection_data();
    void new_connection();
    void cancelled_dialog_keeps_the_connection();
    void read_through_two_hops();
    void close_connection();
    void stop_without_and_with_a_worker();
    void exit_answered_no_keeps_running();
    void operation_display();
    void ending_a_flash_or_transfer_asks_first_data();
    void ending_a_flash_or_transfer_asks_first();

private:
    void connect_as(int type);

    QTemporaryDir _logs;
    std::unique_ptr<kq::satsim::satellite> _sat;
    std::unique_ptr<MainWindow> _window;
};

void tst_main_window::initTestCase()
{
    radcfg::register_meta_types();
}

void tst_main_window::init()
{
    kq::testing::reset_window_settings(_logs.path());
    _sat = std::make_unique<kq::satsim::satellite>();
    connect_dialog::set_extra_ports({_sat->port_name()});
    _window = std::make_unique<MainWindow>();
    _window->show();
}

void tst_main_window::cleanup()
{
    _window.reset();
    _sat.reset();
}

void tst_main_window::connect_as(int type)
{
    kq::testing::connect_window(*_window, type, _sat->port_name());
}

void tst_main_window::starts_unconnected()
{
    QCOMPARE(child<QLabel>(*_window, "lbl_connection")->text(), QString("Connection: none"));
    QVERIFY(!action(*_window, "action_close_connection")->isEnabled());
    QVERIFY(!action(*_window, "actionnew_connection")->icon().pixmap(24).isNull());
    QVERIFY(!_window->windowIcon().pixmap(48).isNull());
    QVERIFY(!child<QProgressBar>(*_window, "progress")->isVisible());
    QCOMPARE(_window->windowTitle(), QString("UHF/OBC configurator, version 1.0.8.18"));
}

void tst_main_window::new_connection_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("tail");
    QTest::newRow("one hop") << 1 << "speed=115200 module=0x22 route=0x22";
    QTest::newRow("two hops") << 2 << "speed=115200 module=0x23 route=0x22:0x23";
    QTest::newRow("three hops") << 4 << "speed=115200 module=0x11 route=0x22:0x23:0x11";
    QTest::newRow("beacon receiver") << 5 << "speed=115200 module=0x23 route=0x22:0x23";
}

void tst_main_window::new_connection()
{
    QFETCH(int, type);
    QFETCH(QString, tail);
    connect_as(type);
    QCOMPARE(child<QLabel>(*_window, "lbl_connection")->text(),
             QStringLiteral("Connection: port=%1 %2").arg(_sat->port_name(), tail));
    QVERIFY(action(*_window, "action_close_connection")->isEnabled());
    QVERIFY(_window->current_worker());
}

void tst_main_window::cancelled_dialog_keeps_the_connection()
{
    connect_as(1);
    const QString text = child<QLabel>(*_window, "lbl_connection")->text();
    when_modal<connect_dialog>([](connect_dialog* d) { d->reject(); });
    action(*_window, "actionnew_connection")->trigger();
    QCOMPARE(child<QLabel>(*_window, "lbl_connection")->text(), text);
    QVERIFY(_window->current_worker());
}

void tst_main_window::read_through_two_hops()
{
    connect_as(2);
    auto* check = child<QPushButton>(*_window, "btn_read");
    QVERIFY(check);
    auto* log = child<QListWidget>(*_window, "lb_log");
    QSignalSpy ops(_window->current_worker(), &kq::gui::sat_worker::on_operation_control);
    check->click();
    QTRY_VERIFY_WITH_TIMEOUT(ops.count() >= 2, 15000);
    QCOMPARE(ops.at(0).at(1).toInt(), int(kq::gui::sat_worker::begin));
    QCOMPARE(ops.at(1).at(1).toInt(), int(kq::gui::sat_worker::end));
    QTRY_VERIFY_WITH_TIMEOUT(log->count() >= 3, 5000);
    QStringList lines;
    for (int i = 0; i < log->count(); ++i)
        lines << log->item(i)->text();
    QVERIFY2(!lines.join('\n').contains("connection error"), qPrintable(lines.join('\n')));
    // The relays were configured over the pseudo-terminal.
    QVERIFY(_sat->link().commands_received() > 0);
}

void tst_main_window::close_connection()
{
    connect_as(1);
    answer_question(QMessageBox::No);
    action(*_window, "action_close_connection")->trigger();
    QVERIFY(_window->current_worker()); // No keeps it

    // Edits not yet written are named in the question, No by default.
    child<QLineEdit>(*_window, "tb_text_beacon")->setText("CQ");
    child<QSpinBox>(*_window, "sb_text_beacon_period")->setValue(90);
    QStringList seen;
    kq::testing::answer_boxes({"&No"}, &seen);
    action(*_window, "action_close_connection")->trigger();
    QCOMPARE(seen, QStringList{"Close|2 values are edited and not written to the device: Text "
                               "beacon, TB period. Closing now loses the edits.\n\nClose the "
                               "connection anyway?|&No"});
    QVERIFY(_window->current_worker());
    child<QPushButton>(*_window, "btn_discard")->click();

    QString asked;
    answer_question(QMessageBox::Yes, &asked);
    action(*_window, "action_close_connection")->trigger();
    QCOMPARE(asked, QString("Close|Close connection?"));
    QCOMPARE(child<QLabel>(*_window, "lbl_connection")->text(), QString("Connection: none"));
    QVERIFY(!action(*_window, "action_close_connection")->isEnabled());
    QVERIFY(!_window->current_worker());
}

void tst_main_window::stop_without_and_with_a_worker()
{
    QString asked;
    answer_question(QMessageBox::Yes, &asked);
    action(*_window, "action_stop")->trigger(); // nothing to stop
    QCOMPARE(asked, QString("Stop|Stop current operation?"));

    // A route whose relay never answers: the check waits until stopped.
    _sat->link().drop_answers(1000000);
    connect_as(2);
    auto* check = child<QPushButton>(*_window, "btn_read");
    check->click();
    QTRY_VERIFY_WITH_TIMEOUT(!check->isEnabled(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(_window->current_worker()->is_running(), 5000); // under way
    answer_question(QMessageBox::Yes);
    action(*_window, "action_stop")->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(check->isEnabled(), 15000);
    QVERIFY(!_window->current_worker()->is_running());
}

void tst_main_window::exit_answered_no_keeps_running()
{
    QString asked;
    answer_question(QMessageBox::No, &asked);
    _window->close();
    QCOMPARE(asked, QString("Quit|Quit application?"));
    QVERIFY(_window->isVisible());
}

void tst_main_window::operation_display()
{
    connect_as(1);
    auto* worker = _window->current_worker();
    auto* label = child<QLabel>(*_window, "lbl_operation");
    auto* bar = child<QProgressBar>(*_window, "progress");
    using w = kq::gui::sat_worker;
    emit worker->on_operation_control(w::FLASH, w::begin);
    QTRY_COMPARE(label->text(), QString("Flashing ..."));
    QVERIFY(bar->isVisible());
    QVERIFY(action(*_window, "action_stop")->isEnabled());
    emit worker->on_operation_control(w::FLASH, w::end);
    QTRY_VERIFY(label->text().isEmpty());
    QVERIFY(bar->isVisible()); // a finished flash keeps its bar
    QVERIFY(!action(*_window, "action_stop")->isEnabled());
    emit worker->on_operation_control(w::READ, w::begin);
    QTRY_COMPARE(label->text(), QString("Reading ..."));
    QVERIFY(!bar->isVisible());
}

void tst_main_window::ending_a_flash_or_transfer_asks_first_data()
{
    QTest::addColumn<bool>("upload");
    QTest::addColumn<bool>("quit");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QString>("logged");
    const QString flash = QStringLiteral("The transceiver is being flashed (");
    const QString upload = QStringLiteral("BIG.DAT is being uploaded to the on-board computer (");
    QTest::newRow("close during a flash")
        << false << false << "Close|" + flash << "flash (FLASH) stopped at ";
    QTest::newRow("quit during a flash")
        << false << true << "Quit|" + flash << "flash (FLASH) stopped at ";
    QTest::newRow("close during an upload")
        << true << false << "Close|" + upload << "upload (BIG.DAT) stopped at ";
    QTest::newRow("quit during an upload")
        << true << true << "Quit|" + upload << "upload (BIG.DAT) stopped at ";
}

// Closing or quitting while a flash or an upload runs asks a question that
// names it, No by default; No keeps it running, Yes stops it, logs where,
// and leaves no progress bar behind.
void tst_main_window::ending_a_flash_or_transfer_asks_first()
{
    QFETCH(bool, upload);
    QFETCH(bool, quit);
    QFETCH(QString, question);
    QFETCH(QString, logged);
    _sat->set_pacing(true); // the hardware's pace: long enough to be interrupted
    connect_as(upload ? 4 : 1);
    auto* worker = _window->current_worker();
    QTemporaryDir dir;
    if (upload) {
        const QString path = dir.filePath("BIG.DAT");
        QVERIFY(kq::testing::write_file(path, kq::testing::random_bytes(64 * 1024, 21)));
        emit qobject_cast<radcfg::obc_worker*>(worker)->upload(path, 0, false);
    } else {
        emit qobject_cast<radcfg::uhf_worker*>(worker)->flash(
            kq::satsim::firmware_image::generate(64 * 1024).file);
    }
    auto* bar = child<QProgressBar>(*_window, "progress");
    QTRY_VERIFY_WITH_TIMEOUT(bar->value() > 0, 30000);
    { // the file, bytes, rate and time left; a flash's share and time left
        const QRegularExpression figures(
            upload ? "^BIG.DAT: \\d+ of 65536 bytes, [0-9.]+ KiB/s, \\d+:\\d\\d left$"
                   : "^Flashing FLASH: \\d+ %, \\d+:\\d\\d left$");
        auto* status = child<QLabel>(*_window, "lbl_operation");
        QTRY_VERIFY2(figures.match(status->text()).hasMatch(), qPrintable(status->text()));
    }
    const auto end = [&] {
        if (quit)
            _window->close();
        else
            action(*_window, "action_close_connection")->trigger();
    };
    QStringList seen;
    kq::testing::answer_boxes({"&No"}, &seen);
    end();
    QTRY_COMPARE(seen.size(), 1);
    QVERIFY2(seen.first().startsWith(question) && seen.first().endsWith("|&No"),
             qPrintable(seen.first()));
    QVERIFY(worker->is_running());

    kq::testing::answer_boxes({"&Yes"}, &seen);
    end();
    QTRY_COMPARE(seen.size(), 2);
    if (quit) {
        // The window asked the application to end; an event loop takes that
        // as main()'s would, so that the next dialogs run again.
        QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        qApp->exec();
        QCOMPARE(seen.size(), 2); // Qt 6 closes the window on the way out: no second question
    }
    QVERIFY(!_window->current_worker());
    QVERIFY(!bar->isVisible());
    QDir logs(_logs.path());
    QString log;
    for (const QString& name : logs.entryList({"*.log"}))
        log += QString::fromUtf8(kq::testing::read_file(logs.filePath(name)));
    QVERIFY2(log.contains(logged) &&
                 log.contains(quit ? "by quitting" : "by closing the connection"),
             qPrintable(log.right(600)));
}

KQ_GUI_TEST_MAIN(tst_main_window)
#include "tst_main_window.moc"
