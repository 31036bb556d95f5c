#include "panelkit/log_controller.h"
#include "panelkit/log_menu_controller.h"
#include "test_environment.h"

#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSettings>
#include <QTemporaryDir>

using kq::gui::log_controller;
using kq::gui::log_item;
using kq::gui::log_menu_controller;

namespace {

QStringList file_lines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

QString message_of(const QString& line)
{
    return line.mid(25 + 6); // time stamp, two blanks, level, blank
}

} // namespace

// A panel's log: the file, the view, the trimming and the menu.
class tst_log_controller : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void text_form();
    void file_gets_every_line_at_once();
    void carriage_returns_trimmed_data();
    void carriage_returns_trimmed();
    void kqttc_lines_only_in_verbose_view();
    void view_keeps_newest_lines();
    void traffic_never_pushes_errors_out();
    void view_is_touched_once_per_burst();
    void missing_directory_warns_and_writes_nothing();
    void colours();
    void menu_copies_and_clears();

private:
    QTemporaryDir _dir;
    QListWidget _list;
};

void tst_log_controller::init()
{
    QSettings().setValue("common/log_location", _dir.path());
    _list.clear();
}

void tst_log_controller::text_form()
{
    const log_item item(log_item::WARN, "hello", QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7, 42)));
    QCOMPARE(item.toString(), QString("2026-12-08 09:05:07,042  WARN  hello"));
    QCOMPARE(log_item(log_item::INFO, "x", item.get_date()).toString().mid(25), QString("INFO  x"));
    QCOMPARE(log_item(log_item::ERROR, "x", item.get_date()).toString().mid(25),
             QString("ERROR x"));
    QCOMPARE(log_item(log_item::KQTTC, "x", item.get_date()).toString().mid(25),
             QString("KQTTC x"));
}

void tst_log_controller::file_gets_every_line_at_once()
{
    log_controller log(nullptr, "uhf", &_list);
    const QString file = log.get_log_file_name();
    QVERIFY(file.startsWith(_dir.path() + QDir::separator() + "uhf-"));
    QVERIFY(file.endsWith(".log"));
    QStringList lines = file_lines(file);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(message_of(lines.at(0)), "Starting log at: " + file);
    QCOMPARE(message_of(lines.at(1)), QString(message_of(lines.at(0)).size(), '-'));
    for (int i = 0; i < 5; ++i) {
        log.log(log_item::INFO, QString("line %1").arg(i));
        QCOMPARE(message_of(file_lines(file).last()), QString("line %1").arg(i));
    }
}

void tst_log_controller::carriage_returns_trimmed_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("stored");
    QTest::newRow("one") << "OK 1234\r"
                         << "OK 1234";
    QTest::newRow("two keep the first") << "OK\r\r"
                                        << "OK\r";
    QTest::newRow("inside stays") << "A\rB"
                                  << "A\rB";
}

void tst_log_controller::carriage_returns_trimmed()
{
    QFETCH(QString, message);
    QFETCH(QString, stored);
    log_controller log(nullptr, "cr", &_list);
    log.log(log_item::INFO, message);
    QFile f(log.get_log_file_name());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString all = QString::fromUtf8(f.readAll());
    QVERIFY(all.endsWith("INFO  " + stored + "\r\n"));
    log.flush_view();
    QVERIFY(_list.item(_list.count() - 1)->text().endsWith(stored));
}

void tst_log_controller::kqttc_lines_only_in_verbose_view()
{
    log_controller log(nullptr, "kq", &_list);
    log.flush_view();
    const int before = _list.count();
    log.log(log_item::KQTTC, "KQ+R2200 3F9D8D04");
    log.flush_view();
    QCOMPARE(_list.count(), before);
    QVERIFY(file_lines(log.get_log_file_name()).last().endsWith("KQTTC KQ+R2200 3F9D8D04"));
    log.set_is_verbose(true);
    log.log(log_item::KQTTC, "OK+C5 9BC29A25");
    log.flush_view();
    QCOMPARE(_list.count(), before + 1);
}

void tst_log_controller::view_keeps_newest_lines()
{
    log_controller log(nullptr, "trim", &_list);
    for (int i = 0; i < 250; ++i)
        log.log(log_item::INFO, QString("n%1").arg(i));
    QTRY_COMPARE_WITH_TIMEOUT(_list.count(), 200, 3000);
    QVERIFY(_list.item(0)->text().endsWith("n50"));
    QCOMPARE(_list.currentRow(), 199);
    QVERIFY(_list.currentItem()->text().endsWith("n249"));
    QCOMPARE(file_lines(log.get_log_file_name()).size(), 252);
}

// However much traffic runs, the operations' lines stay in the view: the
// traffic lines are dropped first.
void tst_log_controller::traffic_never_pushes_errors_out()
{
    log_controller log(nullptr, "traffic", &_list);
    log.set_is_verbose(true);
    log.log(log_item::ERROR, "error get: frequency");
    for (int i = 0; i < 500; ++i)
        log.log(log_item::KQTTC, QString("<<< [BIN]%1").arg(i));
    log.log(log_item::INFO, "end of READ operation");
    for (int i = 500; i < 700; ++i)
        log.log(log_item::KQTTC, QString("<<< [BIN]%1").arg(i));
    QTRY_COMPARE_WITH_TIMEOUT(_list.count(), 200, 3000);
    QStringList shown;
    for (int i = 0; i < _list.count(); ++i)
        shown << _list.item(i)->text();
    QCOMPARE(shown.filter("error get: frequency").size(), 1);
    QCOMPARE(shown.filter("end of READ operation").size(), 1);
    QVERIFY(shown.last().endsWith("[BIN]699"));
}

void tst_log_controller::view_is_touched_once_per_burst()
{
    log_controller log(nullptr, "burst", &_list);
    log.set_is_verbose(true);
    for (int i = 0; i < 1000; ++i)
        log.log(log_item::KQTTC, "KQ+R2200 3F9D8D04");
    QCOMPARE(log.view_updates(), 0); // nothing before the timer
    QTRY_COMPARE_WITH_TIMEOUT(log.view_updates(), 1, 3000);
    QCOMPARE(_list.count(), 200);
}

void tst_log_controller::missing_directory_warns_and_writes_nothing()
{
    const QString missing = _dir.path() + "/no/such/dir";
    QSettings().setValue("common/log_location", missing);
    log_controller log(nullptr, "none", &_list);
    QVERIFY(log.get_log_file_name().isEmpty());
    log.log(log_item::INFO, "still shown");
    log.flush_view();
    QCOMPARE(_list.count(), 2);
    QVERIFY(_list.item(0)->text().contains("WARN  Could not create log directory: " + missing));
    QVERIFY(!QDir(missing).exists());
    QCOMPARE(QDir(_dir.path()).entryList(QStringList{"none-*"}).size(), 0);
}

void tst_log_controller::colours()
{
    log_controller log(nullptr, "colours", &_list);
    log.set_is_verbose(true);
    log.flush_view();
    _list.clear();
    log.log(log_item::INFO, "i");
    log.log(log_item::WARN, "w");
    log.log(log_item::ERROR, "e");
    log.log(log_item::KQTTC, "k");
    log.flush_view();
    QCOMPARE(_list.count(), 4);
    QCOMPARE(_list.item(0)->background().color(), QColor(Qt::white));
    QCOMPARE(_list.item(1)->background().color(), QColor(Qt::yellow));
    QCOMPARE(_list.item(2)->background().color(), QColor(Qt::red));
    QCOMPARE(_list.item(2)->foreground().color(), QColor(Qt::white));
    QCOMPARE(_list.item(3)->background().color(), QColor(Qt::cyan));
}

void tst_log_controller::menu_copies_and_clears()
{
    QListWidget list;
    list.setSelectionMode(QAbstractItemView::MultiSelection);
    log_menu_controller menu(&list);
    QCOMPARE(list.contextMenuPolicy(), Qt::CustomContextMenu);
    list.addItems({"a", "b", "c"});
    list.item(2)->setSelected(true);
    list.item(0)->setSelected(true);
    QCOMPARE(menu.selected_text(), QString("c\na"));
    menu.copy_selected();
    QCOMPARE(QApplication::clipboard()->text(), QString("c\na"));
    menu.clear();
    QCOMPARE(list.count(), 0);

    // A view cleared from its menu keeps working.
    log_controller log(nullptr, "menu", &_list);
    log.flush_view();
    _list.clear();
    log.log(log_item::INFO, "after clear");
    log.flush_view();
    QCOMPARE(_list.count(), 1);
}

KQ_GUI_TEST_MAIN(tst_log_controller)
#include "tst_log_controller.moc"
