#include "connect_dialog.h"
#include "test_environment.h"
#include "widget_access.h"

#include "panelkit/hex_spin_box.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

QT_WARNING_DISABLE_DEPRECATED

using radcfg::connect_dialog;
using namespace kq::api::proto;

using kq::testing::child;

namespace {

QStringList hops(const route_t& route)
{
    QStringList out;
    for (const module_connect_props_t& h : route)
        out << QStringLiteral("%1:%2:%3:%4")
                   .arg(h.role)
                   .arg(h.dev_addr, 0, 16)
                   .arg(h.module_type)
                   .arg(h.frequency);
    return out;
}

} // namespace

// The "New connection" dialog.
class tst_connect_dialog : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void first_start_state();
    void routes_data();
    void routes();
    void enable_logic_data();
    void enable_logic();
    void saved_keys_restored();
    void frequency_gap_data();
    void frequency_gap();
    void ports_sorted_by_name();
    void own_ports_remembered_apart();
};

void tst_connect_dialog::init()
{
    QSettings().clear();
    connect_dialog::set_extra_ports({"/dev/pts/test1"});
}

void tst_connect_dialog::first_start_state()
{
    connect_dialog d(nullptr);
    QCOMPARE(child<QComboBox>(d, "cb_connection")->currentText(), QString("<< select >>"));
    QCOMPARE(child<QComboBox>(d, "cb_connection")->count(), 8);
    QCOMPARE(child<QComboBox>(d, "cb_uart_speed")->currentText(), QString("115200"));
    QCOMPARE(child<QComboBox>(d, "cb_uart_speed")->currentData().toInt(), 3);
    QCOMPARE(child<QComboBox>(d, "cb_local_rf_mode")->currentText(), QString("2GFSK-9600-2400"));
    QCOMPARE(child<kq::gui::HexSpinBox>(d, "sb_local_address")->text(), QString("0x22"));
    QCOMPARE(child<kq::gui::HexSpinBox>(d, "sb_remote_address")->text(), QString("0x23"));
    QCOMPARE(child<kq::gui::HexSpinBox>(d, "sb_obc_address")->text(), QString("0x11"));
    QCOMPARE(child<QDoubleSpinBox>(d, "sb_local_frequency")->text(), QString("435.000"));
    QVERIFY(!child<QPushButton>(d, "btn_connect")->isEnabled());
    QCOMPARE(d.windowTitle(), QString("New connection"));
}

void tst_connect_dialog::routes_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("xHF") << 1 << QStringList{"3:22:2:420000000"};
    QTest::newRow("xHF->xHF") << 2 << QStringList{"1:22:2:437050000", "3:23:2:420000000"};
    QTest::newRow("OBC") << 3 << QStringList{"3:11:1:420000000"};
    QTest::newRow("xHF->xHF->OBC")
        << 4 << QStringList{"1:22:2:437050000", "2:23:2:420000000", "3:11:1:420000000"};
    // The receiver's target carries the remote address although its group is off.
    QTest::newRow("X25 beacon receiver")
        << 5 << QStringList{"1:22:2:437050000", "3:23:2:420000000"};
    QTest::newRow("X-band") << 6 << QStringList{"3:40:4:420000000"};
    QTest::newRow("FSPS") << 7 << QStringList{"3:31:3:420000000"};
}

void tst_connect_dialog::routes()
{
    QFETCH(int, type);
    QFETCH(QStringList, expected);
    connect_dialog d(nullptr);
    child<QComboBox>(d, "cb_connection")->setCurrentIndex(type);
    child<QDoubleSpinBox>(d, "sb_local_frequency")->setValue(437.05);
    QVERIFY(child<QPushButton>(d, "btn_connect")->isEnabled());
    child<QPushButton>(d, "btn_connect")->click();
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(hops(d.get_connect_props()->route), expected);
    QCOMPARE(d.get_connection_type(), uint32_t(type));
    QCOMPARE(d.get_serial_port(), QString("/dev/pts/test1"));
    QCOMPARE(d.get_uart_speed(), 3);
    QVERIFY(!d.get_connect_props()->persistent);
    QVERIFY(!d.get_connect_props()->probe);
}

void tst_connect_dialog::enable_logic_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("groups"); // local, remote, obc, radio
    QTest::newRow("select") << 0 << "----";
    QTest::newRow("xHF") << 1 << "L---";
    QTest::newRow("xHF->xHF") << 2 << "LR-F";
    QTest::newRow("OBC") << 3 << "--O-";
    QTest::newRow("xHF->xHF->OBC") << 4 << "LROF";
    QTest::newRow("beacon") << 5 << "L--F";
}

void tst_connect_dialog::enable_logic()
{
    QFETCH(int, type);
    QFETCH(QString, groups);
    connect_dialog d(nullptr);
    child<QComboBox>(d, "cb_connection")->setCurrentIndex(type);
    const bool local = child<QGroupBox>(d, "gb_local_xhf")->isEnabled();
    QString seen;
    seen += local ? 'L' : '-';
    seen += child<QGroupBox>(d, "gb_remote_xhf")->isEnabled() ? 'R' : '-';
    seen += child<QGroupBox>(d, "gb_obc")->isEnabled() ? 'O' : '-';
    seen += local && child<QDoubleSpinBox>(d, "sb_local_frequency")->isEnabled() ? 'F' : '-';
    QCOMPARE(seen, groups);
    QCOMPARE(child<QPushButton>(d, "btn_connect")->isEnabled(), type > 0);
}

void tst_connect_dialog::saved_keys_restored()
{
    {
        connect_dialog d(nullptr);
        child<QComboBox>(d, "cb_connection")->setCurrentIndex(4);
        child<QComboBox>(d, "cb_uart_speed")->setCurrentIndex(1);
        child<QComboBox>(d, "cb_local_rf_mode")->setCurrentIndex(6);
        child<kq::gui::HexSpinBox>(d, "sb_local_address")->setHexValue(0x42);
        child<kq::gui::HexSpinBox>(d, "sb_remote_address")->setHexValue(0x43);
        child<kq::gui::HexSpinBox>(d, "sb_obc_address")->setHexValue(0x15);
        child<QDoubleSpinBox>(d, "sb_local_frequency")->setValue(437.5);
        child<QPushButton>(d, "btn_connect")->click();
    }
    const QSettings s;
    QCOMPARE(s.value("last/connect_cb_connection").toInt(), 4);
    QCOMPARE(s.value("last/connect_sb_local_address").toInt(), 0x42);
    QCOMPARE(s.value("last/connect_cb_serial_port").toString(), QString("/dev/pts/test1"));

    connect_dialog again(nullptr);
    QCOMPARE(child<QComboBox>(again, "cb_connection")->currentIndex(), 4);
    QCOMPARE(child<QComboBox>(again, "cb_uart_speed")->currentText(), QString("19200"));
    QCOMPARE(child<QComboBox>(again, "cb_local_rf_mode")->currentIndex(), 6);
    QCOMPARE(child<kq::gui::HexSpinBox>(again, "sb_local_address")->hexValue(), 0x42u);
    QCOMPARE(child<kq::gui::HexSpinBox>(again, "sb_remote_address")->hexValue(), 0x43u);
    QCOMPARE(child<kq::gui::HexSpinBox>(again, "sb_obc_address")->hexValue(), 0x15u);
    QCOMPARE(child<QDoubleSpinBox>(again, "sb_local_frequency")->value(), 437.5);
    QVERIFY(child<QGroupBox>(again, "gb_obc")->isEnabled()); // the enable logic ran
}

void tst_connect_dialog::frequency_gap_data()
{
    QTest::addColumn<double>("start");
    QTest::addColumn<QString>("action");
    QTest::addColumn<double>("result");
    QTest::addColumn<QString>("note"); // beside the box; empty: none shown
    const QString moved("%1 MHz lies between 403 and 430 MHz, where this radio does not work: "
                        "moved to %2 MHz.");
    QTest::newRow("step down from 430")
        << 430.0 << "down" << 430.0 << moved.arg("429.950", "430.000");
    QTest::newRow("typing 410 after 435")
        << 435.0 << "410" << 430.0 << moved.arg("410.000", "430.000");
    QTest::newRow("typing 410 after 401")
        << 401.0 << "410" << 403.0 << moved.arg("410.000", "403.000");
    QTest::newRow("step up from 403") << 403.0 << "up" << 403.0 << moved.arg("403.050", "403.000");
    QTest::newRow("outside the gap") << 435.0 << "402" << 402.0 << "";
}

void tst_connect_dialog::frequency_gap()
{
    QFETCH(double, start);
    QFETCH(QString, action);
    QFETCH(double, result);
    QFETCH(QString, note);
    QSettings().setValue("last/connect_sb_local_frequency", start);
    connect_dialog d(nullptr);
    d.show();
    auto* box = child<QDoubleSpinBox>(d, "sb_local_frequency");
    QCOMPARE(box->value(), start);
    if (action == "down")
        box->stepDown();
    else if (action == "up")
        box->stepUp();
    else
        box->setValue(action.toDouble());
    QCOMPARE(box->value(), result);
    auto* label = child<QLabel>(d, "lbl_frequency_note");
    QCOMPARE(label->isVisible() ? label->text() : QString(), note);
}

void tst_connect_dialog::ports_sorted_by_name()
{
    connect_dialog::set_extra_ports({"COM2", "COM10", "/dev/pts/9"});
    connect_dialog d(nullptr);
    auto* ports = child<QComboBox>(d, "cb_serial_port");
    QStringList names;
    for (int i = 0; i < ports->count(); ++i)
        names << ports->itemText(i);
    QVERIFY(names.indexOf("/dev/pts/9") < names.indexOf("COM10"));
    QVERIFY(names.indexOf("COM10") < names.indexOf("COM2"));
}

// The X-band transmitter's port and speed are its own: choosing its type
// shows them, and the transceivers' stay as they were.
void tst_connect_dialog::own_ports_remembered_apart()
{
    connect_dialog::set_extra_ports({"/dev/pts/test1", "/dev/pts/test2"});
    {
        connect_dialog d(nullptr);
        child<QComboBox>(d, "cb_connection")->setCurrentIndex(1);
        child<QComboBox>(d, "cb_serial_port")->setCurrentText("/dev/pts/test1");
        child<QPushButton>(d, "btn_connect")->click();
    }
    {
        connect_dialog d(nullptr);
        child<QComboBox>(d, "cb_connection")->setCurrentIndex(6);
        child<QComboBox>(d, "cb_serial_port")->setCurrentText("/dev/pts/test2");
        child<QComboBox>(d, "cb_uart_speed")->setCurrentIndex(0);
        child<kq::gui::HexSpinBox>(d, "sb_xband_address")->setHexValue(0x41);
        child<QPushButton>(d, "btn_connect")->click();
        QCOMPARE(hops(d.get_connect_props()->route), QStringList{"3:41:4:420000000"});
    }
    connect_dialog again(nullptr);
    auto* type = child<QComboBox>(again, "cb_connection");
    auto* port = child<QComboBox>(again, "cb_serial_port");
    QCOMPARE(type->currentIndex(), 6);
    QCOMPARE(port->currentText(), QString("/dev/pts/test2"));
    QCOMPARE(child<QComboBox>(again, "cb_uart_speed")->currentText(), QString("9600"));
    type->setCurrentIndex(1);
    QCOMPARE(port->currentText(), QString("/dev/pts/test1"));
    QCOMPARE(child<QComboBox>(again, "cb_uart_speed")->currentText(), QString("115200"));
    QVERIFY(!child<kq::gui::HexSpinBox>(again, "sb_xband_address")->isEnabled());
}

KQ_GUI_TEST_MAIN(tst_connect_dialog)
#include "tst_connect_dialog.moc"
