#include "app_settings.h"
#include "crc32_calculator_dialog.h"
#include "settings_dialog.h"
#include "test_environment.h"
#include "widget_access.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTabWidget>

using namespace radcfg;

using kq::testing::child;

namespace {

QPushButton* button(const QDialog& d, QDialogButtonBox::StandardButton which)
{
    return child<QDialogButtonBox>(d, "buttonBox")->button(which);
}

} // namespace

// The settings store, its dialog and the CRC32 calculator.
class tst_settings_dialog : public QObject
{
    Q_OBJECT

private slots:
    void init() { QSettings().clear(); }
    void first_start_writes_fourteen_keys();
    void dialog_shows_and_applies_settings();
    void pipe_timeout_limits_the_others_data();
    void pipe_timeout_limits_the_others();
    void restore_defaults_per_tab();
    void crc32_data();
    void crc32();
};

void tst_settings_dialog::first_start_writes_fourteen_keys()
{
    QCOMPARE(write_default_settings(), 14);
    QCOMPARE(write_default_settings(), 0);
    const QSettings s;
    QCOMPARE(s.allKeys().size(), 14);
    QCOMPARE(s.value("command/timeout_pipe").toInt(), 10000);
    QCOMPARE(s.value("command/repeats_xs").toInt(), 10);
    QCOMPARE(s.value("obc/auto_time_type").toInt(), 0);
    QVERIFY(s.value("common/log_location").toString().endsWith("Logs"));
    QVERIFY(QFileInfo(s.value("common/log_location").toString()).isDir());
}

void tst_settings_dialog::dialog_shows_and_applies_settings()
{
    QSettings().setValue("command/timeout_m", 2000);
    QSettings().setValue("obc/auto_time_type", 2);
    settings_dialog d(nullptr);
    QCOMPARE(child<QSpinBox>(d, "sb_timeout_M")->value(), 2000);
    QVERIFY(child<QRadioButton>(d, "rb_obc_auto_time_utc")->isChecked());
    QVERIFY(!button(d, QDialogButtonBox::Apply)->isEnabled());

    child<QSpinBox>(d, "sb_repeats_L")->setValue(7);
    child<QRadioButton>(d, "rb_obc_auto_time_local")->setChecked(true);
    child<QLineEdit>(d, "tb_common_logs_location")->setText("/tmp/kq-logs");
    QVERIFY(button(d, QDialogButtonBox::Apply)->isEnabled());
    button(d, QDialogButtonBox::Apply)->click();
    QVERIFY(!button(d, QDialogButtonBox::Apply)->isEnabled());
    const QSettings s;
    QCOMPARE(s.value("command/repeats_l").toInt(), 7);
    QCOMPARE(s.value("obc/auto_time_type").toInt(), 1);
    QCOMPARE(s.value("common/log_location").toString(), QString("/tmp/kq-logs"));
    QCOMPARE(s.value("command/timeout_m").toInt(), 2000);
}

void tst_settings_dialog::pipe_timeout_limits_the_others_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("note");
    QTest::newRow("typed 25000: passes 2500 on the way, lowers nothing") << "25000" << 24000 << "";
    QTest::newRow("typed 5000") << "5000" << 4000
                                << "Persistent time, Extra large lowered to 4000 ms: every "
                                   "timeout stays a second below the pipe timeout.";
}

// The rule applies when the typing ends, never to the digits on the way,
// and says what it lowered; OK saves.
void tst_settings_dialog::pipe_timeout_limits_the_others()
{
    QFETCH(QString, typed);
    QFETCH(int, limit);
    QFETCH(QString, note);
    settings_dialog d(nullptr);
    d.show();
    d.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    auto* pipe = child<QSpinBox>(d, "sb_timeout_pipe");
    pipe->setFocus();
    pipe->selectAll();
    QTest::keyClicks(pipe, typed);
    QTest::keyClick(pipe, Qt::Key_Tab); // on to the next field: the typing is done
    QCOMPARE(pipe->value(), typed.toInt());
    for (const char* name : {"sb_persistent_time", "sb_timeout_XS", "sb_timeout_S", "sb_timeout_M",
                             "sb_timeout_L", "sb_timeout_XL"}) {
        QCOMPARE(child<QSpinBox>(d, name)->maximum(), limit);
        QVERIFY(child<QSpinBox>(d, name)->value() <= limit);
    }
    QCOMPARE(child<QSpinBox>(d, "sb_timeout_L")->value(), 4000); // 1500 by the old rule
    QCOMPARE(child<QSpinBox>(d, "sb_repeats_XS")->maximum(), 20);
    auto* label = child<QLabel>(d, "lbl_pipe_note");
    QCOMPARE(label->isVisible() ? label->text() : QString(), note);
    button(d, QDialogButtonBox::Ok)->click();
    QCOMPARE(QSettings().value("command/timeout_pipe").toInt(), typed.toInt());
    QCOMPARE(d.result(), int(QDialog::Accepted));
}

void tst_settings_dialog::restore_defaults_per_tab()
{
    settings_dialog d(nullptr);
    child<QLineEdit>(d, "tb_common_logs_location")->setText("/somewhere");
    child<QRadioButton>(d, "rb_obc_auto_time_utc")->setChecked(true);
    child<QSpinBox>(d, "sb_timeout_pipe")->setValue(5000);
    child<QSpinBox>(d, "sb_repeats_S")->setValue(9);

    auto* tabs = child<QTabWidget>(d, "tab_settings");
    tabs->setCurrentWidget(child<QWidget>(d, "tab_command"));
    button(d, QDialogButtonBox::RestoreDefaults)->click();
    QCOMPARE(child<QSpinBox>(d, "sb_timeout_pipe")->value(), 10000);
    QCOMPARE(child<QSpinBox>(d, "sb_persistent_time")->value(), 9500);
    QCOMPARE(child<QSpinBox>(d, "sb_timeout_XL")->value(), 9000);
    QCOMPARE(child<QSpinBox>(d, "sb_repeats_S")->value(), 4);
    QCOMPARE(child<QLineEdit>(d, "tb_common_logs_location")->text(), QString("/somewhere"));
    QVERIFY(child<QRadioButton>(d, "rb_obc_auto_time_utc")->isChecked());
    QVERIFY(QSettings().allKeys().isEmpty()); // nothing written before Apply

    tabs->setCurrentWidget(child<QWidget>(d, "tab_obc"));
    button(d, QDialogButtonBox::RestoreDefaults)->click();
    QVERIFY(child<QRadioButton>(d, "rb_obc_auto_time_disabled")->isChecked());
    tabs->setCurrentWidget(child<QWidget>(d, "tab_common"));
    button(d, QDialogButtonBox::RestoreDefaults)->click();
    QCOMPARE(child<QLineEdit>(d, "tb_common_logs_location")->text(), default_log_location());
}

void tst_settings_dialog::crc32_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("crc");
    QTest::newRow("empty") << ""
                           << "0x00000000";
    QTest::newRow("check value") << "123456789"
                                 << "0xCBF43926";
    QTest::newRow("command") << "KQ+R2200"
                             << "0x3F9D8D04";
}

void tst_settings_dialog::crc32()
{
    QFETCH(QString, input);
    QFETCH(QString, crc);
    crc32_calculator_dialog d(nullptr);
    child<QPlainTextEdit>(d, "tb_input")->setPlainText(input);
    child<QPushButton>(d, "pb_calculate_crc32")->click();
    QCOMPARE(child<QLineEdit>(d, "tb_crc32")->text(), crc);
}

KQ_GUI_TEST_MAIN(tst_settings_dialog)
#include "tst_settings_dialog.moc"
