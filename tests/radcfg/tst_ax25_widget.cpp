#include "ax25_widget.h"
#include "connect_dialog.h"
#include "main_window.h"
#include "meta_types.h"
#include "satellite.h"
#include "test_environment.h"
#include "widget_access.h"
#include "window_driver.h"

#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>

#include <memory>

using kq::satsim::uhf_transceiver;
using kq::testing::child;
using radcfg::ax25_widget;

// The beacon receiver in the real window against the simulator.
class tst_ax25_widget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void beacon_line_format();
    void lists_beacons_until_stopped();
    void starts_again_after_stop();

private:
    QStringList rows(const char* list);
    void start_beacons(const QString& info)
    {
        _sat->with_local([info](uhf_transceiver& t) {
            t.set_beacon(150, "CQ", "QQ9ZZZ", info.toLatin1());
            return 0;
        });
    }
    QPushButton* button(const char* name) { return child<QPushButton>(*_window, name); }

    QTemporaryDir _logs;
    std::unique_ptr<kq::satsim::satellite> _sat;
    std::unique_ptr<radcfg::MainWindow> _window;
};

void tst_ax25_widget::initTestCase()
{
    radcfg::register_meta_types();
}

void tst_ax25_widget::init()
{
    kq::testing::reset_window_settings(_logs.path());
    _sat = std::make_unique<kq::satsim::satellite>();
    radcfg::connect_dialog::set_extra_ports({_sat->port_name()});
    _window = std::make_unique<radcfg::MainWindow>();
    _window->show();
    kq::testing::connect_window(*_window, 5, _sat->port_name());
    QVERIFY(_window->findChild<ax25_widget*>());
}

void tst_ax25_widget::cleanup()
{
    _window.reset();
    _sat.reset();
}

QStringList tst_ax25_widget::rows(const char* list)
{
    auto* view = child<QListWidget>(*_window, list);
    QStringList lines;
    for (int i = 0; i < view->count(); ++i)
        lines << view->item(i)->text();
    return lines;
}

void tst_ax25_widget::beacon_line_format()
{
    const QDateTime at(QDate(2026, 3, 5), QTime(14, 3, 7, 42));
    QCOMPARE(ax25_widget::beacon_line(at, "CQ    [E0]QQ9ZZZ[E1][03F0]HI"),
             QString("2026-03-05 14:03:07,042  AX25 CQ    [E0]QQ9ZZZ[E1][03F0]HI"));
}

void tst_ax25_widget::lists_beacons_until_stopped()
{
    QVERIFY(button("btn_start")->isEnabled());
    QVERIFY(!button("btn_stop")->isEnabled());
    start_beacons("HELLO");
    button("btn_start")->click();
    QVERIFY(!button("btn_start")->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(rows("lb_x25").size() >= 2, 10000);
    QVERIFY(button("btn_stop")->isEnabled());
    const QRegularExpression line(
        "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d,\\d{3}  AX25 CQ    \\[E0\\]QQ9ZZZ.*HELLO$");
    for (const QString& row : rows("lb_x25"))
        QVERIFY2(line.match(row).hasMatch(), qPrintable(row));
    QCOMPARE(child<QListWidget>(*_window, "lb_x25")->currentRow(), rows("lb_x25").size() - 1);

    button("btn_stop")->click();
    QTRY_VERIFY_WITH_TIMEOUT(button("btn_start")->isEnabled(), 3000);
    QVERIFY(!button("btn_stop")->isEnabled());
    QVERIFY(!_window->current_worker()->is_running());
    QTRY_VERIFY(rows("lb_log").filter("disconnected").size() >= 1);
    const QStringList log = rows("lb_log");
    QVERIFY2(log.filter("connection error").isEmpty(), qPrintable(log.join('\n')));
    QVERIFY(!log.filter("listening for ax25 frames ...").isEmpty());
    QVERIFY(!log.filter("HELLO").isEmpty());
}

void tst_ax25_widget::starts_again_after_stop()
{
    start_beacons("ONE");
    button("btn_start")->click();
    QTRY_VERIFY_WITH_TIMEOUT(!rows("lb_x25").isEmpty(), 10000);
    button("btn_stop")->click();
    QTRY_VERIFY_WITH_TIMEOUT(button("btn_start")->isEnabled(), 3000);

    start_beacons("TWO");
    button("btn_start")->click();
    QTRY_VERIFY_WITH_TIMEOUT(rows("lb_x25").last().endsWith("TWO"), 10000);
    button("btn_stop")->click();
    QTRY_VERIFY_WITH_TIMEOUT(button("btn_start")->isEnabled(), 3000);
}

KQ_GUI_TEST_MAIN(tst_ax25_widget)
#include "tst_ax25_widget.moc"
