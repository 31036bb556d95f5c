#include "file_contents.h"
#include "fsps_widget.h"
#include "main_window.h"
#include "meta_types.h"
#include "modal_helper.h"
#include "monitor_widget.h"
#include "random_bytes.h"
#include "satellite.h"
#include "test_environment.h"
#include "uhf_widget.h"
#include "virtual_serial_pair.h"
#include "widget_access.h"
#include "window_driver.h"
#include "worker_recorder.h"
#include "xband_transmitter.h"
#include "xband_widget.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QListWidgetItem>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTemporaryDir>

#include <memory>

using kq::gui::sat_worker;
using kq::satsim::xband_transmitter;
using kq::testing::child;
using kq::testing::read_file;
using kq::testing::write_file;

// The X-band and FSPS panels, the transceiver's free text and the monitor,
// in the real window against the simulator's ports.
class tst_device_panels : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void xband_parameters_written_only_when_edited();
    void xband_report_names_every_field();
    void xband_files_round_trip_and_questions();
    void xband_monitor_exports_its_series();
    void fsps_values_read_back();
    void free_text_both_ways();

private:
    void open(int type, const QString& port);
    QPushButton* button(const QString& text);
    // Clicks and waits until the operation it started has ended.
    void click_and_wait(QPushButton* b);
    void wait_ended();
    QStringList log_lines() const;

    QTemporaryDir _logs, _local;
    std::unique_ptr<kq::satsim::satellite> _sat;
    std::unique_ptr<kq::satsim::virtual_serial_pair> _xband_pair;
    std::unique_ptr<xband_transmitter> _xband;
    std::unique_ptr<radcfg::MainWindow> _window;
    std::unique_ptr<kq::testing::worker_recorder> _ops;
};

void tst_device_panels::initTestCase()
{
    radcfg::register_meta_types();
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
}

void tst_device_panels::init()
{
    kq::testing::reset_window_settings(_logs.path());
    _sat = std::make_unique<kq::satsim::satellite>();
    _xband_pair = std::make_unique<kq::satsim::virtual_serial_pair>();
    _xband = std::make_unique<xband_transmitter>(*_xband_pair);
    _xband->start();
    radcfg::connect_dialog::set_extra_ports(
        {_sat->port_name(), _sat->fsps_port_name(), _xband_pair->port_name()});
    _window = std::make_unique<radcfg::MainWindow>();
    _window->show();
}

void tst_device_panels::cleanup()
{
    _ops.reset();
    _window.reset();
    _xband.reset();
    _xband_pair.reset();
    _sat.reset();
}

void tst_device_panels::open(int type, const QString& port)
{
    kq::testing::connect_window(*_window, type, port);
    QTRY_VERIFY(_window->current_worker());
    _ops = std::make_unique<kq::testing::worker_recorder>(*_window->current_worker());
}

QPushButton* tst_device_panels::button(const QString& text)
{
    for (QPushButton* b : _window->findChildren<QPushButton*>()) {
        if (b->text() == text)
            return b;
    }
    qFatal("no button %s", qPrintable(text));
}

void tst_device_panels::wait_ended()
{
    QTRY_VERIFY_WITH_TIMEOUT(
        !_ops->control.isEmpty() && _ops->control.last().second != sat_worker::begin, 30000);
    // The panel heard the end before the recorder did (it connected first);
    // what it posted on from there is handled too.
    QCoreApplication::sendPostedEvents();
}

void tst_device_panels::click_and_wait(QPushButton* b)
{
    QTRY_VERIFY(b->isEnabled());
    _ops->control.clear();
    b->click();
    wait_ended();
}

QStringList tst_device_panels::log_lines() const
{
    QStringList lines;
    for (QListWidget* view : _window->findChildren<QListWidget*>()) {
        for (int i = 0; i < view->count(); ++i)
            lines << view->item(i)->text();
    }
    return lines;
}

// Read shows the transmitter's values; Write sends only the edited one, so
// a value changed on the transmitter meanwhile stays as it is there.
void tst_device_panels::xband_parameters_written_only_when_edited()
{
    open(6, _xband_pair->port_name());
    QVERIFY(_window->findChild<radcfg::xband_widget*>());
    click_and_wait(button("&Read"));
    auto* power = child<QSpinBox>(*_window, "tx-power");
    QCOMPARE(power->value(), 20);
    QCOMPARE(child<QDoubleSpinBox>(*_window, "freq")->value(), 8025.5);
    QVERIFY(!button("&Write")->isEnabled());

    power->setValue(12);
    bool underlined = false;
    for (QLabel* l : _window->findChildren<QLabel*>())
        underlined |= l->text() == "Transmit power (code)" && l->font().underline();
    QVERIFY(underlined);
    auto changed = _xband->parameters();
    changed.modcod = 7; // changed on the transmitter after the read
    _xband->set_parameters(changed);
    click_and_wait(button("&Write"));
    QCOMPARE(int(_xband->parameters().tx_power), 12);
    QCOMPARE(int(_xband->parameters().modcod), 7);
    QVERIFY(!button("&Write")->isEnabled());
    QTRY_VERIFY(!log_lines().filter("set parameter: Transmit power").isEmpty());
    QVERIFY(log_lines().filter("holds").isEmpty()); // read back as written
}

void tst_device_panels::xband_report_names_every_field()
{
    open(6, _xband_pair->port_name());
    auto* table = child<QTableWidget>(*_window, "report");
    click_and_wait(button("Re&fresh"));
    QCOMPARE(table->rowCount(), 20);
    QMap<QString, QString> shown;
    for (int row = 0; row < table->rowCount(); ++row)
        shown.insert(table->item(row, 0)->text(), table->item(row, 1)->text());
    QCOMPARE(shown.value("Transmit power"), QString("20 dBm"));
    QCOMPARE(shown.value("Supply voltage"), QString("5.02 V"));
    QCOMPARE(shown.value("State"), QString("0 (idle)"));
    QVERIFY(shown.value("Board temperature").endsWith(QString::fromUtf8(" °C")));
    for (QCheckBox* c : _window->findChildren<QCheckBox*>()) {
        if (c->text() == "F&ull report")
            c->setChecked(false);
    }
    click_and_wait(button("Re&fresh"));
    QCOMPARE(table->rowCount(), 4);
}

// A file goes up and is listed, comes down byte-identical, and is deleted
// only on Yes; No, the default, keeps it.
void tst_device_panels::xband_files_round_trip_and_questions()
{
    open(6, _xband_pair->port_name());
    auto* panel = _window->findChild<radcfg::xband_widget*>();
    const QByteArray data = kq::testing::random_bytes(5000, 4);
    const QString local = _local.filePath("pass.dat");
    QVERIFY(write_file(local, data));
    _ops->control.clear();
    panel->upload_file(local);
    wait_ended();
    QCOMPARE(_xband->files().value("pass.dat"), data);
    auto* files = child<QTableWidget>(*_window, "files");
    QCOMPARE(files->rowCount(), 1);
    QCOMPARE(files->item(0, 1)->text(), QString("5000"));

    panel->select_file("pass.dat");
    const QString back = _local.filePath("back.dat");
    _ops->control.clear();
    panel->download_file(back);
    wait_ended();
    QCOMPARE(read_file(back), data);

    QStringList seen;
    kq::testing::answer_boxes({"&No"}, &seen);
    _ops->control.clear();
    panel->delete_file();
    QTRY_COMPARE(seen.size(), 1);
    QVERIFY2(seen.first().endsWith("|&No"), qPrintable(seen.first())); // No is the default
    _ops->settle();
    QVERIFY(_ops->control.isEmpty());
    QVERIFY(_xband->files().contains("pass.dat"));
    kq::testing::answer_boxes({"&Yes"}, &seen);
    _ops->control.clear();
    panel->delete_file();
    wait_ended();
    QVERIFY(_xband->files().isEmpty());
    QCOMPARE(files->rowCount(), 0);
    kq::testing::answer_boxes({"&No"}, &seen);
    _ops->control.clear();
    panel->shut_down();
    QTRY_COMPARE(seen.size(), 3);
    _ops->settle();
    QVERIFY(_ops->control.isEmpty());
    QCOMPARE(_xband->mode(), QString("IDLE"));
}

// Samples collected while it runs, and a CSV with the time and the chosen
// columns that reads back.
void tst_device_panels::xband_monitor_exports_its_series()
{
    open(6, _xband_pair->port_name());
    auto* monitor = _window->findChild<radcfg::monitor_widget*>();
    monitor->start();
    QTRY_VERIFY_WITH_TIMEOUT(monitor->sample_count() >= 3, 15000);
    monitor->pause();
    QTRY_VERIFY(!monitor->running());
    const int samples = monitor->sample_count();
    const QString csv = _local.filePath("monitor.csv");
    QString error;
    QVERIFY2(monitor->export_csv(csv, &error), qPrintable(error));
    const QStringList rows = QString::fromUtf8(read_file(csv)).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(rows.size(), samples + 1);
    QCOMPARE(rows.first(), QString("time,board-temp,pa-temp"));
    for (const QString& row : rows.mid(1)) {
        const QStringList cells = row.split(',');
        QCOMPARE(cells.size(), 3);
        QVERIFY(QDateTime::fromString(cells.at(0), Qt::ISODateWithMs).isValid());
        QVERIFY(std::abs(cells.at(1).toDouble() - 21.5) <= 1.01);
    }
}

void tst_device_panels::fsps_values_read_back()
{
    _sat->with_fsps([](kq::satsim::fsps_unit& f) {
        f.set_values(3, 5);
        return 0;
    });
    open(7, _sat->fsps_port_name());
    QVERIFY(_window->findChild<radcfg::fsps_widget*>());
    click_and_wait(button("&Read"));
    QCOMPARE(child<QSpinBox>(*_window, "rf")->value(), 3);
    QCOMPARE(child<QSpinBox>(*_window, "att")->value(), 5);
    child<QSpinBox>(*_window, "att")->setValue(7);
    click_and_wait(button("&Write"));
    QCOMPARE(_sat->with_fsps([](kq::satsim::fsps_unit& f) { return f.attenuation(); }), 7);
    QCOMPARE(child<QSpinBox>(*_window, "att")->value(), 7); // as read back
}

// A line typed is sent through the transceiver and the far station's
// answer is listed, while listening.
void tst_device_panels::free_text_both_ways()
{
    _sat->with_local([](kq::satsim::uhf_transceiver& t) {
        t.set_far_station_text(true, 0);
        return 0;
    });
    open(1, _sat->port_name());
    auto* texts = child<QListWidget>(*_window, "lw_texts");
    auto* listen = child<QPushButton>(*_window, "btn_listen_text");
    auto* send = child<QPushButton>(*_window, "btn_send_text");
    listen->click();
    QTRY_VERIFY(!_ops->control.isEmpty());
    child<QLineEdit>(*_window, "le_text")->setText("hello there");
    QVERIFY(send->isEnabled()); // a line can be sent while listening
    send->click();
    QTRY_VERIFY_WITH_TIMEOUT(texts->count() >= 2, 10000);
    QVERIFY2(texts->item(0)->text().endsWith(">> #1  hello there"),
             qPrintable(texts->item(0)->text()));
    QVERIFY2(texts->item(1)->text().endsWith("<< #1  ROGER hello there"),
             qPrintable(texts->item(1)->text()));
    QCOMPARE(_sat->with_remote([](kq::satsim::uhf_transceiver& t) { return t.texts_heard(); })
                 .value(0)
                 .second,
             QString("hello there"));
    QVERIFY(listen->isChecked());
    _ops->control.clear();
    listen->click();
    wait_ended();
    QTRY_VERIFY(!listen->isChecked());
    QTRY_VERIFY(child<QPushButton>(*_window, "btn_read")->isEnabled());
}

KQ_GUI_TEST_MAIN(tst_device_panels)
#include "tst_device_panels.moc"
