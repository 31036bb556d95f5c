#include "compare_dialog.h"
#include "connect_dialog.h"
#include "firmware_image.h"
#include "main_window.h"
#include "meta_types.h"
#include "modal_helper.h"
#include "satellite.h"
#include "test_environment.h"
#include "uhf_widget.h"
#include "widget_access.h"
#include "window_driver.h"
#include "worker_recorder.h"

#include "panelkit/log_controller.h"
#include "panelkit/param_history.h"
#include "satcmd/kqttc/uhf_commands.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <sys/stat.h>
#include <unistd.h>

using kq::gui::sat_worker;
using kq::satsim::uhf_transceiver;
using kq::testing::answer_question;
using kq::testing::child;
using kq::testing::choose_file;
using kq::testing::when_modal;
using radcfg::connect_dialog;
using radcfg::MainWindow;
using radcfg::uhf_widget;
using uhf_widget_ids = kq::gui::uhf_ids;

// The UHF panel in the real window, connected through the dialog to the
// simulator on a pseudo-terminal.
class tst_uhf_widget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void read_fills_every_widget();
    void write_sends_only_the_changes();
    void beacon_check_box_alone_reports_the_status_word();
    void discard_restores_the_values_read();
    void audio_beacon_period_rule();
    void refused_value_marks_its_caption();
    void bootloader_relabels_the_fast_rf_modes();
    void uart_speed_follows_on_a_direct_line();
    void reset_sets_the_reset_bit();
    void flash_runs_to_the_end();
    void refused_flash_shows_a_warning();
    void firmware_file_checked_before_the_question_data();
    void firmware_file_checked_before_the_question();
    void two_hops_wait_for_the_pipe();
    void read_of_a_silent_address_ends_at_once();
    void persistent_wait_is_counted_and_stoppable();
    void port_errors_name_the_port_and_the_reason_data();
    void port_errors_name_the_port_and_the_reason();
    void check_boxes_are_remembered();
    void configuration_file_as_edits_and_read_back();

private:
    void connect_as(int type);
    void read_all();
    void write_all();
    bool wait_for_end(int timeout_ms = 20000);
    template<typename W>
    W* field(const char* name)
    {
        return child<W>(*_window, name);
    }
    QStringList log_lines();
    bool underlined(const char* caption) { return field<QLabel>(caption)->font().underline(); }
    uhf_transceiver::state_t local()
    {
        return _sat->with_local([](uhf_transceiver& t) { return t.state(); });
    }

    QTemporaryDir _logs;
    std::unique_ptr<kq::satsim::satellite> _sat;
    std::unique_ptr<MainWindow> _window;
    std::unique_ptr<kq::testing::worker_recorder> _ops; // queued: sees what the panel saw
};

void tst_uhf_widget::initTestCase()
{
    radcfg::register_meta_types();
    // The file dialog as a widget the test can answer, whatever the desktop.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void tst_uhf_widget::init()
{
    kq::testing::reset_window_settings(_logs.path());
    QSettings().setValue("uhf/last_kqttc_chk", false); // keeps the view to the panel's own lines
    _sat = std::make_unique<kq::satsim::satellite>();
    connect_dialog::set_extra_ports({_sat->port_name()});
    _window = std::make_unique<MainWindow>();
    _window->show();
}

void tst_uhf_widget::cleanup()
{
    _ops.reset();
    _window.reset();
    _sat.reset();
}

void tst_uhf_widget::connect_as(int type)
{
    kq::testing::connect_window(*_window, type, _sat->port_name());
    QVERIFY(_window->findChild<uhf_widget*>());
    _ops = std::make_unique<kq::testing::worker_recorder>(*_window->current_worker());
}

// The worker has reported the end of the operation and the window has
// handled it.
bool tst_uhf_widget::wait_for_end(int timeout_ms)
{
    const bool ended = QTest::qWaitFor(
        [this] {
            return !_ops->control.isEmpty() && _ops->control.last().second != sat_worker::begin;
        },
        timeout_ms);
    QCoreApplication::sendPostedEvents(); // the panel heard the end first: what it posted from
                                          // there
    return ended;
}

void tst_uhf_widget::read_all()
{
    _ops->control.clear();
    field<QPushButton>("btn_read")->click();
    QVERIFY(wait_for_end());
}

void tst_uhf_widget::write_all()
{
    _ops->control.clear();
    QVERIFY(field<QPushButton>("btn_write")->isEnabled());
    field<QPushButton>("btn_write")->click();
    QVERIFY2(wait_for_end(), qPrintable(log_lines().join('\n')));
}

QStringList tst_uhf_widget::log_lines()
{
    auto* view = field<QListWidget>("lb_log");
    QStringList lines;
    // Each row: date, time, two blanks, the level in five columns, a blank,
    // the message.
    static const QRegularExpression prefix("^\\S+ \\S+  .{5} ");
    for (int i = 0; i < view->count(); ++i)
        lines << view->item(i)->text().remove(prefix);
    return lines;
}

void tst_uhf_widget::read_fills_every_widget()
{
    _sat->with_local([](uhf_transceiver& t) {
        t.state().rx_pkts = 12;
        t.state().tx_pkts = 34;
        t.state().rx_crc_pkts = 5;
        t.state().audio_beacon_period = 120;
        t.state().scw &= ~0x0002; // FRAM unhealthy
        return 0;
    });
    connect_as(1);
    QVERIFY(!field<QPushButton>("btn_write")->isEnabled());
    QCOMPARE(field<QLabel>("lbl_link")->text(), QString("not used yet"));
    read_all();
    QCOMPARE(field<QLabel>("lbl_link")->text(), QString("answering"));
    const uhf_transceiver::state_t s = local();
    QCOMPARE(field<QLabel>("lbl_version")->text(), s.version);
    QVERIFY2(QRegularExpression("^\\d+ s \\((\\d+ d )?\\d+:\\d\\d:\\d\\d\\)$")
                 .match(field<QLabel>("lbl_uptime")->text())
                 .hasMatch(),
             qPrintable(field<QLabel>("lbl_uptime")->text()));
    QCOMPARE(field<QLabel>("lbl_boot")->text(), QString("Application"));
    QCOMPARE(field<QLabel>("lbl_fram")->text(), QString("ERROR"));
    QVERIFY(field<QLabel>("lbl_fram")->styleSheet().contains("color: red"));
    QCOMPARE(field<QLabel>("lbl_rfts")->text(), QString("OK"));
    QVERIFY(field<QLabel>("lbl_rfts")->styleSheet().isEmpty());
    // The transceiver counts the commands of this read too.
    QVERIFY(field<QLabel>("lbl_rx_pkts")->text().toUInt() >= 12);
    QVERIFY(field<QLabel>("lbl_tx_pkts")->text().toUInt() >= 34);
    QCOMPARE(field<QLabel>("lbl_rx_pkts_crc")->text(), QString("5"));
    QCOMPARE(field<QProgressBar>("pb_rssi")->value(), int(s.rssi));
    QCOMPARE(field<QComboBox>("cb_uart_speed")->currentText(), QString("115200"));
    QCOMPARE(field<QSpinBox>("sb_dev_addr")->value(), 0x22);
    QCOMPARE(field<QSpinBox>("sb_dev_addr")->text(), QString("0x22"));
    QCOMPARE(field<QSpinBox>("sb_pipe_timeout")->value(), int(s.pipe_timeout));
    QCOMPARE(field<QDoubleSpinBox>("sb_rf")->text(), QString("437.000"));
    QCOMPARE(field<QComboBox>("cb_rf_mode")->currentData().toInt(), (s.scw >> 8) & 7);
    QCOMPARE(field<QCheckBox>("chk_beacon")->isChecked(), bool(s.scw & 0x40));
    QCOMPARE(field<QLineEdit>("tb_text_beacon")->text(), s.text_beacon);
    QCOMPARE(field<QSpinBox>("sb_text_beacon_period")->value(), int(s.text_beacon_period));
    QCOMPARE(field<QLineEdit>("tb_audio_beacon_midi")->text(), s.midi);
    QCOMPARE(field<QSpinBox>("sb_audio_beacon_period")->value(), 120);
    QCOMPARE(field<QLineEdit>("tb_src_call_sign")->text(), s.src_call_sign);
    QCOMPARE(field<QLineEdit>("tb_dst_call_sign")->text(), s.dst_call_sign);
    QCOMPARE(field<QLineEdit>("tb_morse_code")->text(), s.morse);
    // Loading values is no edit.
    QVERIFY(!field<QPushButton>("btn_write")->isEnabled());
    QVERIFY(!underlined("cap_text_beacon"));
    QTRY_VERIFY2(log_lines().contains("read parameter: morse code"),
                 qPrintable(log_lines().join("\n")));
    const QStringList lines = log_lines();
    QCOMPARE(lines.filter(QRegularExpression("^read parameter: ")).size(), 16);
    QVERIFY(lines.indexOf("read parameter: version") < lines.indexOf("read parameter: uptime"));
    QVERIFY2(lines.filter(QRegularExpression("^(error|connection error)")).isEmpty(),
             qPrintable(lines.join('\n')));
}

void tst_uhf_widget::write_sends_only_the_changes()
{
    connect_as(1);
    read_all();
    field<QLineEdit>("tb_dst_call_sign")->setText("QQ1AB");
    field<QSpinBox>("sb_text_beacon_period")->setValue(300);
    field<QDoubleSpinBox>("sb_rf")->setValue(437.05);
    QVERIFY(underlined("cap_dst_call_sign"));
    QVERIFY(underlined("cap_text_beacon_period"));
    QVERIFY(underlined("cap_rf"));
    QVERIFY(!underlined("cap_src_call_sign"));
    QVERIFY(field<QPushButton>("btn_discard")->isEnabled());
    write_all();

    const uhf_transceiver::state_t s = local();
    QCOMPARE(s.dst_call_sign, QString("QQ1AB"));
    QCOMPARE(s.text_beacon_period, uint16_t(300));
    QCOMPARE(s.rf_word, kq::api::proto::kqttc::req_set_rf::freq_to_si4463(437050000));
    QVERIFY(!underlined("cap_dst_call_sign"));
    QVERIFY(!underlined("cap_rf"));
    QVERIFY(!field<QPushButton>("btn_write")->isEnabled());
    QTRY_VERIFY(log_lines().contains("set parameter: text beacon period"));
    QCOMPARE(log_lines().filter(QRegularExpression("^set parameter: ")),
             (QStringList{"set parameter: destination call sign",
                          "set parameter: text beacon period", "set parameter: radio frequency"}));
}

void tst_uhf_widget::beacon_check_box_alone_reports_the_status_word()
{
    connect_as(1);
    read_all();
    QVERIFY(!(local().scw & 0x40));
    field<QCheckBox>("chk_beacon")->click();
    write_all();
    QVERIFY(local().scw & 0x40);
    QTRY_VERIFY(log_lines().contains("set parameter: UART baud rate"));
    QCOMPARE(log_lines().filter(QRegularExpression("^set parameter: ")),
             (QStringList{"set parameter: RF mode", "set parameter: beacon enabled",
                          "set parameter: UART baud rate"}));
    QVERIFY(!underlined("cap_beacon"));
}

void tst_uhf_widget::discard_restores_the_values_read()
{
    connect_as(1);
    read_all();
    field<QLineEdit>("tb_src_call_sign")->setText("ZZ9");
    field<QComboBox>("cb_rf_mode")->setCurrentIndex(5);
    field<QPushButton>("btn_discard")->click();
    QCOMPARE(field<QLineEdit>("tb_src_call_sign")->text(), local().src_call_sign);
    QCOMPARE(field<QComboBox>("cb_rf_mode")->currentIndex(), 0);
    QVERIFY(!underlined("cap_src_call_sign"));
    QVERIFY(!field<QPushButton>("btn_write")->isEnabled());
    QVERIFY(field<QPushButton>("btn_read")->isEnabled());

    // A written value is the one Discard goes back to.
    field<QLineEdit>("tb_src_call_sign")->setText("ZZ9");
    write_all();
    field<QLineEdit>("tb_src_call_sign")->setText("ZZ8");
    field<QPushButton>("btn_discard")->click();
    QCOMPARE(field<QLineEdit>("tb_src_call_sign")->text(), QString("ZZ9"));
}

void tst_uhf_widget::audio_beacon_period_rule()
{
    connect_as(1);
    auto* period = field<QSpinBox>("sb_audio_beacon_period");
    period->setValue(10);
    QTRY_COMPARE(period->value(), 30);
    QVERIFY(underlined("cap_audio_beacon_period")); // still an edit to write
    period->setValue(0); // off: the rule leaves it once its delay is over
    auto* rule = child<QTimer>(*_window, "audio_beacon_rule_timer");
    QVERIFY(rule);
    QVERIFY(rule->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(!rule->isActive(), 10 * rule->interval());
    QCOMPARE(period->value(), 0);
    period->setValue(29);
    write_all(); // a value typed just before Write is corrected first
    QCOMPARE(period->value(), 30);
    QCOMPARE(local().audio_beacon_period, uint16_t(30));
}

void tst_uhf_widget::refused_value_marks_its_caption()
{
    connect_as(1);
    read_all();
    const QString before = local().morse;
    field<QLineEdit>("tb_morse_code")->setText("-.x");
    field<QLineEdit>("tb_src_call_sign")->setText("OK1");
    write_all();
    QCOMPARE(local().morse, before);
    QCOMPARE(local().src_call_sign, QString("OK1"));
    QVERIFY(field<QLabel>("cap_morse_code")->styleSheet().contains("red"));
    QVERIFY(!field<QLabel>("cap_src_call_sign")->styleSheet().contains("red"));
    QVERIFY(underlined("cap_morse_code")); // still to be written
    QTRY_VERIFY(!log_lines().filter("error settig parameter: morse code").isEmpty());
    QVERIFY(log_lines().contains("set parameter: source call sign"));
    // The next edit of the field clears its mark.
    field<QLineEdit>("tb_morse_code")->setText("-.-");
    QVERIFY(!field<QLabel>("cap_morse_code")->styleSheet().contains("red"));
}

void tst_uhf_widget::bootloader_relabels_the_fast_rf_modes()
{
    _sat->with_local([](uhf_transceiver& t) { return t.state().scw |= 0x10 | (7 << 8); });
    connect_as(1);
    auto* modes = field<QComboBox>("cb_rf_mode");
    auto* beacon_text = field<QLineEdit>("tb_text_beacon");
    const int mode_width = modes->sizeHint().width();
    const int text_width = beacon_text->width();
    read_all();
    QCOMPARE(field<QLabel>("lbl_boot")->text(), QString("Bootloader"));
    QCOMPARE(modes->itemText(6), QString("2GFSK-19200-9600 (2GFSK-9600-2400 by default)"));
    QCOMPARE(modes->itemText(7), QString("2GFSK-19200-19200 (2GFSK-9600-2400 by default)"));
    QCOMPARE(modes->itemText(5), QString("2GFSK-19200-4800"));
    QCOMPARE(modes->currentData().toInt(), 7);
    QVERIFY(!field<QPushButton>("btn_write")->isEnabled()); // relabelling is no edit
    // The long labels widen neither the box nor push the beacon fields.
    QCOMPARE(modes->sizeHint().width(), mode_width);
    QTRY_COMPARE(beacon_text->width(), text_width);

    _sat->with_local([](uhf_transceiver& t) { return t.state().scw &= ~0x10; });
    read_all();
    QCOMPARE(modes->itemText(7), QString("2GFSK-19200-19200"));
    QCOMPARE(modes->currentData().toInt(), 7);
}

void tst_uhf_widget::uart_speed_follows_on_a_direct_line()
{
    connect_as(1);
    auto* panel = _window->findChild<uhf_widget*>();
    QSignalSpy changed(panel, &uhf_widget::on_module_settings_changed);
    read_all();
    field<QComboBox>("cb_uart_speed")->setCurrentIndex(0); // 9600
    write_all();
    QCOMPARE((local().scw >> 12) & 3, 0);
    QCOMPARE(changed.count(), 1);
    const auto settings = changed.at(0).at(0).value<kq::api::proto::serial_port_settings_t>();
    QCOMPARE(int(settings.baud_rate), 9600);
    QCOMPARE(QSettings().value("last/connect_cb_uart_speed").toInt(), 0);
    QVERIFY(child<QLabel>(*_window, "lbl_connection")->text().contains("speed=9600"));

    field<QComboBox>("cb_uart_speed")->setCurrentIndex(2); // 115200
    write_all();
    QCOMPARE(changed.count(), 2);
    QCOMPARE(int(changed.at(1).at(0).value<kq::api::proto::serial_port_settings_t>().baud_rate),
             115200);
    QCOMPARE(QSettings().value("last/connect_cb_uart_speed").toInt(), 2);

    // A speed the transceiver did not take leaves the port as it is.
    field<QCheckBox>("chk_persistent")->setChecked(false);
    _sat->link().drop_answers(1000000);
    field<QComboBox>("cb_uart_speed")->setCurrentIndex(1);
    write_all();
    QCOMPARE(changed.count(), 2);
}

void tst_uhf_widget::reset_sets_the_reset_bit()
{
    connect_as(1);
    QString asked;
    answer_question(QMessageBox::No, &asked);
    field<QPushButton>("btn_reset")->click();
    QCOMPARE(asked, QString("Reset|Reset module?"));
    _ops->settle();
    QVERIFY(_ops->control.isEmpty());

    answer_question(QMessageBox::Yes);
    field<QPushButton>("btn_reset")->click();
    QVERIFY(wait_for_end());
    QCOMPARE(_ops->control.first().first, int(sat_worker::RESET));
    QCOMPARE(local().resets, 1u);
}

void tst_uhf_widget::flash_runs_to_the_end()
{
    QTemporaryDir dir;
    const auto image = kq::satsim::firmware_image::generate(2048);
    const QString path = dir.filePath("KQ-UHF.SCRM");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(image.file);
    file.close();

    connect_as(1);
    QString asked;
    QString title;
    choose_file(path, [&asked, &title](QFileDialog* d) {
        title = d->windowTitle();
        answer_question(QMessageBox::Yes, &asked);
    });
    field<QPushButton>("btn_flash")->click();
    QCOMPARE(title, QString("Select firmware file"));
    QCOMPARE(asked,
             "Flash|You are about to flash the device with\n\n" + path + "\n\nAre you sure?");
    QVERIFY(wait_for_end(60000));
    QCOMPARE(_ops->control.first().first, int(sat_worker::FLASH));
    QCOMPARE(_sat->with_local([](uhf_transceiver& t) { return t.image(); }), image.data);
    auto* bar = child<QProgressBar>(*_window, "progress");
    QVERIFY(bar->isVisible());
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    QTRY_VERIFY(log_lines().contains("set parameter: flash"));

    // Answered No, nothing is flashed; the dialog opened where the file was.
    QString folder;
    choose_file(path, [&folder](QFileDialog* d) {
        folder = d->directory().absolutePath();
        answer_question(QMessageBox::No);
    });
    _ops->control.clear();
    field<QPushButton>("btn_flash")->click();
    _ops->settle();
    QVERIFY(_ops->control.isEmpty());
    QCOMPARE(folder, QDir(dir.path()).absolutePath());
}

void tst_uhf_widget::refused_flash_shows_a_warning()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("KQ-UHF.SCRM");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(kq::satsim::firmware_image::generate(1024).file);
    file.close();
    _sat->with_local([](uhf_transceiver& t) {
        t.refuse_flash_lines(100, QStringLiteral("ERR+LOCKED"));
        return 0;
    });

    connect_as(1);
    choose_file(path, [](QFileDialog*) { answer_question(QMessageBox::Yes); });
    field<QPushButton>("btn_flash")->click();
    QString warned;
    when_modal<QMessageBox>([&warned](QMessageBox* box) {
        warned = box->windowTitle() + '|' + box->text();
        box->accept();
    });
    QVERIFY(wait_for_end(60000));
    QTRY_VERIFY(!warned.isEmpty());
    QVERIFY2(warned.startsWith("Flash|Error while flashing module: "), qPrintable(warned));
    QTRY_VERIFY(!log_lines().filter("error while flashing module: ").isEmpty());
    QVERIFY(field<QPushButton>("btn_flash")->isEnabled());
}

void tst_uhf_widget::firmware_file_checked_before_the_question_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QStringList>("answers");
    QTest::addColumn<QStringList>("asked"); // the start of each box's title and text
    QTest::addColumn<bool>("flashed");
    const auto image = kq::satsim::firmware_image::generate(256);
    const QString sure = QStringLiteral("Flash|You are about to flash");
    QTest::newRow("S2/S8 with S5, converted")
        << image.s2_file() << QStringList{"Con&vert and flash", "&Yes"}
        << QStringList{"Flash|" + QStringLiteral("%1 cannot be flashed as it is:\n\nline 2: "
                                                 "FLASH_FILE_INVALID_TYPE"),
                       sure}
        << true;
    QTest::newRow("S2/S8 with S5, cancelled")
        << image.s2_file() << QStringList{"Cancel"}
        << QStringList{"Flash|%1 cannot be flashed as it is"} << false;
    const QByteArray cut = image.file.left(image.file.lastIndexOf('\n', image.file.size() - 2) + 1);
    QTest::newRow("cut, answered No")
        << cut << QStringList{"&No"} << QStringList{"Flash|%1 has no end record"} << false;
    QTest::newRow("cut, flashed anyway") << cut << QStringList{"&Yes", "&Yes"}
                                         << QStringList{"Flash|%1 has no end record", sure} << true;
    QTest::newRow("two end records")
        << image.file + image.file.mid(image.file.lastIndexOf("S9")) << QStringList{"OK"}
        << QStringList{"Flash|%1 cannot be flashed:\n\nline 19: FLASH_FILE_AFTER_END"} << false;
}

// A firmware file is refused, converted or questioned before the usual
// question, and only what the user chose reaches the transceiver; every
// question defaults to the safe answer.
void tst_uhf_widget::firmware_file_checked_before_the_question()
{
    QFETCH(QByteArray, file);
    QFETCH(QStringList, answers);
    QFETCH(QStringList, asked);
    QFETCH(bool, flashed);
    QTemporaryDir dir;
    const QString path = dir.filePath("KQ-UHF.SCRM");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();
    connect_as(1);
    QStringList seen;
    choose_file(path, [&](QFileDialog*) { kq::testing::answer_boxes(answers, &seen); });
    _ops->control.clear();
    field<QPushButton>("btn_flash")->click();
    QTRY_COMPARE(seen.size(), asked.size());
    for (int i = 0; i < asked.size(); ++i) {
        QVERIFY2(seen.at(i).startsWith(asked.at(i).arg(path)), qPrintable(seen.at(i)));
        QVERIFY2(!seen.at(i).endsWith("|&Yes"), qPrintable(seen.at(i)));
    }
    if (!flashed) {
        _ops->settle();
        QVERIFY(_ops->control.isEmpty());
        return;
    }
    QVERIFY(wait_for_end(60000));
    QCOMPARE(_ops->control.first().first, int(sat_worker::FLASH));
    QCOMPARE(_sat->with_local([](uhf_transceiver& t) { return t.image(); }),
             kq::satsim::firmware_image::generate(256).data);
}

void tst_uhf_widget::two_hops_wait_for_the_pipe()
{
    connect_as(2);
    auto* read = field<QPushButton>("btn_read");
    read_all();
    QCOMPARE(field<QLabel>("lbl_version")->text(),
             _sat->with_remote([](uhf_transceiver& t) { return t.state().version; }));
    // Pipe timeout 2500 ms: held for three seconds.
    QElapsedTimer held;
    held.start();
    QVERIFY(!read->isEnabled());
    QVERIFY(!field<QPushButton>("btn_reset")->isEnabled());
    QVERIFY(!field<QCheckBox>("chk_persistent")->isEnabled());
    // The wait is counted down in the status bar and on the buttons.
    auto* status = child<QLabel>(*_window, "lbl_operation");
    const QRegularExpression countdown("^Waiting for the relay's pipe to close: [1-3] s$");
    QTRY_VERIFY2(countdown.match(status->text()).hasMatch(), qPrintable(status->text()));
    QCOMPARE(read->toolTip(), status->text());
    QTRY_VERIFY_WITH_TIMEOUT(read->isEnabled(), 10000);
    QVERIFY2(held.elapsed() >= 2000, qPrintable(QString::number(held.elapsed())));
    QVERIFY(log_lines().contains("pipe drain"));
    QVERIFY(status->text().isEmpty());
    QVERIFY(!read->toolTip().startsWith("Waiting"));
}

// Where nothing answers, the walk ends with the first unanswered read
// instead of waiting out every parameter's timeout.
void tst_uhf_widget::read_of_a_silent_address_ends_at_once()
{
    connect_as(1);
    QSettings().setValue("uhf/last_persistent_chk", false);
    if (field<QCheckBox>("chk_persistent")->isChecked())
        field<QCheckBox>("chk_persistent")->click();
    // Before any read nothing looks like a value from the device.
    const QString dash = QStringLiteral("\u2014");
    QCOMPARE(field<QLabel>("lbl_version")->text(), dash);
    QCOMPARE(field<QLabel>("lbl_fram")->text(), dash);
    QCOMPARE(field<QDoubleSpinBox>("sb_rf")->text(), dash);
    QCOMPARE(field<QSpinBox>("sb_pipe_timeout")->text(), dash);
    QCOMPARE(field<QComboBox>("cb_uart_speed")->currentIndex(), -1);
    QCOMPARE(field<QCheckBox>("chk_beacon")->checkState(), Qt::PartiallyChecked);
    QCOMPARE(field<QLineEdit>("tb_text_beacon")->placeholderText(), dash);
    QCOMPARE(field<QDoubleSpinBox>("sb_rf")->toolTip(), QStringLiteral("not read"));

    _sat->link().drop_answers(1000000);
    read_all(); // ended: every line of the read is logged, the view is batched
    auto* log = _window->findChild<uhf_widget*>()->findChild<kq::gui::log_controller*>();
    QVERIFY(log);
    log->flush_view();
    QCOMPARE(log_lines().filter("error get: ").size(), 1);
    QCOMPARE(_ops->control.size(), 2); // begin, end
    // The first parameter says why, the ones never asked for say no answer.
    QVERIFY2(field<QLabel>("lbl_version")->toolTip().startsWith("no answer: "),
             qPrintable(field<QLabel>("lbl_version")->toolTip()));
    QVERIFY(field<QLabel>("lbl_version")->toolTip().contains("check the cable"));
    QCOMPARE(field<QDoubleSpinBox>("sb_rf")->toolTip(), QStringLiteral("no answer"));
    QCOMPARE(field<QLabel>("lbl_fram")->toolTip(), QStringLiteral("no answer"));
    QCOMPARE(field<QDoubleSpinBox>("sb_rf")->text(), dash);
    QVERIFY(!field<QPushButton>("btn_write")->isEnabled());
    QVERIFY2(field<QLabel>("lbl_link")->text().startsWith("no answer since "),
             qPrintable(field<QLabel>("lbl_link")->text()));
    QCOMPARE(field<QLabel>("lbl_link")->styleSheet(), QString("color: red"));
}

// In persistent mode a silent transceiver is tried again and again: the
// status bar counts the attempts and the time, and Stop ends the wait.
void tst_uhf_widget::persistent_wait_is_counted_and_stoppable()
{
    connect_as(1);
    if (!field<QCheckBox>("chk_persistent")->isChecked())
        field<QCheckBox>("chk_persistent")->click();
    _sat->link().drop_answers(1000000);
    _ops->control.clear();
    field<QPushButton>("btn_read")->click();
    auto* status = field<QLabel>("lbl_operation");
    QTRY_VERIFY2_WITH_TIMEOUT(status->text().contains("no answer after 1 attempt in 0:0"),
                              qPrintable(log_lines().join('\n')), 15000);
    QVERIFY2(status->text().startsWith("Reading ... "), qPrintable(status->text()));
    QVERIFY(status->text().contains("Stop gives up"));
    answer_question(QMessageBox::Yes);
    child<QAction>(*_window, "action_stop")->trigger();
    QVERIFY(wait_for_end(5000));
    QTRY_VERIFY(!log_lines()
                     .filter(QRegularExpression("^no answer after 1 attempt in 0:0\\d; trying"))
                     .isEmpty());
}

void tst_uhf_widget::port_errors_name_the_port_and_the_reason_data()
{
    QTest::addColumn<QString>("port"); // in a fresh folder
    QTest::addColumn<int>("mode");     // of that file; -1: no file
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << "ttyNONE" << -1 << ": No such file or directory)";
    QTest::newRow("not a serial port") << "plain" << 0600 << ": not a serial port)";
    if (::geteuid() != 0) // the superuser opens anything
        QTest::newRow("no access rights")
            << "locked" << 0 << ": Permission denied; add your user to the 'dialout' group";
}

// A port that will not open is named with the system's reason and a hint.
void tst_uhf_widget::port_errors_name_the_port_and_the_reason()
{
    QFETCH(QString, port);
    QFETCH(int, mode);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(port);
    if (mode >= 0) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    }
    connect_dialog::set_extra_ports({path});
    kq::testing::connect_window(*_window, 1, path);
    QVERIFY(_window->findChild<uhf_widget*>());
    _ops = std::make_unique<kq::testing::worker_recorder>(*_window->current_worker());
    read_all();
    QTRY_VERIFY2(!log_lines().filter("connection error: ").isEmpty(),
                 qPrintable(log_lines().join('\n')));
    const QString line = log_lines().filter("connection error: ").first();
    QVERIFY2(line.contains("(" + path + reason), qPrintable(line));
    QCOMPARE(field<QLabel>("lbl_link")->text(), QString("port cannot be opened"));
}

void tst_uhf_widget::check_boxes_are_remembered()
{
    connect_as(1);
    QVERIFY(field<QCheckBox>("chk_persistent")->isChecked()); // first start: on
    QVERIFY(!field<QCheckBox>("cb_verbose_log")->isChecked());
    field<QCheckBox>("chk_persistent")->click();
    field<QCheckBox>("cb_verbose_log")->click();
    read_all();
    // With KQTTC on, the traffic shows without line ends.
    QTRY_VERIFY(log_lines().contains("<<< OK+KQ-UHF 2.4.1 5189F592"));
    QVERIFY(!log_lines().filter(QRegularExpression("^>>> KQ\\+R22F9 ")).isEmpty());
    QVERIFY(!log_lines().contains("<<< ")); // a bare line end is no traffic line
    QVERIFY(log_lines().filter(QRegularExpression("[\r\n]")).isEmpty());
    answer_question(QMessageBox::Yes);
    child<QAction>(*_window, "action_close_connection")->trigger();
    QCOMPARE(QSettings().value("uhf/last_persistent_chk").toBool(), false);
    QCOMPARE(QSettings().value("uhf/last_kqttc_chk").toBool(), true);
}

// Load turns the file's differing values into edits and Write sends only
// those, after a snapshot; a value the device keeps otherwise is caught by
// the read-back and marked; Compare then shows just that difference.
void tst_uhf_widget::configuration_file_as_edits_and_read_back()
{
    connect_as(1);
    read_all();
    QTemporaryDir dir;
    const QString path = dir.filePath("unit.json");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(R"({"format": "kq-module-parameters", "format_version": 1, "module": "uhf",
        "parameters": {"freq": 437.05, "text-beacon-period": 300, "beacon": true,
                       "dst-call": "CQ"}})");
    file.close();

    choose_file(path);
    _ops->control.clear();
    field<QPushButton>("btn_load")->click();
    QVERIFY(wait_for_end());
    QTRY_VERIFY(underlined("cap_rf"));
    QVERIFY(underlined("cap_text_beacon_period"));
    QVERIFY(underlined("cap_beacon"));
    QVERIFY(!underlined("cap_dst_call_sign")); // the device holds it already
    QCOMPARE(field<QSpinBox>("sb_text_beacon_period")->value(), 300);

    _sat->with_local([](uhf_transceiver& t) { return t.state().misstores_periods = true; });
    _ops->written.clear();
    write_all();
    QSet<uint32_t> written;
    for (const auto& w : _ops->written)
        written << w.first;
    // The status word's fields are reported together.
    QCOMPARE(written,
             (QSet<uint32_t>{uhf_widget_ids::radio_frequency, uhf_widget_ids::text_beacon_period,
                             uhf_widget_ids::beacon_enabled, uhf_widget_ids::rf_mode,
                             uhf_widget_ids::uart_baud_rate}));
    const uhf_transceiver::state_t s = local();
    QCOMPARE(s.rf_word, kq::api::proto::kqttc::req_set_rf::freq_to_si4463(437050000));
    QVERIFY(s.scw & 0x40);
    QTRY_VERIFY2(log_lines().contains("text beacon period: wrote 300, the device holds 301"),
                 qPrintable(log_lines().join('\n')));
    QCOMPARE(field<QLabel>("cap_text_beacon_period")->styleSheet(),
             QString("background-color: red"));
    const auto snapshots = kq::gui::param_history("uhf", "0x22").entries();
    QVERIFY(!snapshots.isEmpty());
    QVERIFY(snapshots.first().file.endsWith("-before-write.json"));

    QStringList rows;
    choose_file(path, [&rows](QFileDialog*) {
        when_modal<radcfg::compare_dialog>([&rows](radcfg::compare_dialog* d) {
            auto* table = d->findChild<QTableWidget*>("tbl_differences");
            for (int r = 0; r < table->rowCount(); ++r)
                rows << table->item(r, 0)->text() + "|" + table->item(r, 1)->text() + "|" +
                            table->item(r, 2)->text();
            d->reject();
        });
    });
    _ops->control.clear();
    field<QPushButton>("btn_compare")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!rows.isEmpty(), 20000);
    QCOMPARE(rows, QStringList{"text beacon period|301|300"});
}

KQ_GUI_TEST_MAIN(tst_uhf_widget)
#include "tst_uhf_widget.moc"
