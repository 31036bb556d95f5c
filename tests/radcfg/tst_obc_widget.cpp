#include "connect_dialog.h"
#include "file_contents.h"
#include "main_window.h"
#include "meta_types.h"
#include "modal_helper.h"
#include "obc_widget.h"
#include "satcmd/checksum.h"
#include "satellite.h"
#include "test_environment.h"
#include "widget_access.h"
#include "window_driver.h"
#include "worker_recorder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileSystemModel>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtEndian>

#include <memory>

using kq::api::proto::checksum;
using kq::gui::sat_worker;
using kq::satsim::obc_computer;
using kq::testing::child;
using kq::testing::read_file;
using kq::testing::when_modal;
using kq::testing::write_file;

// The OBC panel in the real window, through both relays of the simulator.
class tst_obc_widget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void upload_list_and_download();
    void refuses_names_beyond_8_3_data();
    void refuses_names_beyond_8_3();
    void upload_resume_data();
    void upload_resume();
    void download_resume_data();
    void download_resume();
    void download_refuses_a_name_leading_elsewhere();
    void erase_removes_the_file();
    void local_tree_starts_where_it_was_left();
    void flash_walks_its_steps();
    void boot_mode_read_and_set();
    void automatic_utc_time_writes_only_the_time();

private:
    QPushButton* button(const char* name) { return child<QPushButton>(*_window, name); }
    QString write_local(const QString& name, const QByteArray& data);
    void select_local(const QString& path);
    bool select_obc(const QString& name);
    void click_and_wait(const char* name);
    void wait_ready();
    QByteArray obc_file(const QString& name)
    {
        return _sat->with_obc([name](obc_computer& o) { return o.files().value(name); });
    }
    void put_obc_file(const QString& name, const QByteArray& data)
    {
        _sat->with_obc([name, data](obc_computer& o) { return o.files()[name] = data; });
    }
    QStringList log_lines();
    // Answers the next "already exists" question with Resume when it is
    // offered, else Cancel; `buttons` receives the texts offered.
    static void answer_exists(bool resume, QStringList& buttons);
    static QByteArray random_bytes(int size);

    QTemporaryDir _logs, _local, _other;
    std::unique_ptr<kq::satsim::satellite> _sat;
    std::unique_ptr<radcfg::MainWindow> _window;
    std::unique_ptr<kq::testing::worker_recorder> _ops; // queued: sees what the panel saw
};

void tst_obc_widget::initTestCase()
{
    radcfg::register_meta_types();
}

void tst_obc_widget::init()
{
    // Two radio hops: the relays' pipe timeout a second above the longest
    // command, as the settings require; the panel waits it out after every
    // operation, so it is kept short.
    kq::testing::reset_window_settings(_logs.path(), 2000, 800, 1000);
    QSettings().setValue("obc/last_kqttc_chk", false);
    _sat = std::make_unique<kq::satsim::satellite>();
    radcfg::connect_dialog::set_extra_ports({_sat->port_name()});
    _window = std::make_unique<radcfg::MainWindow>();
    _window->show();
    kq::testing::connect_window(*_window, 4, _sat->port_name());
    QVERIFY(_window->findChild<radcfg::obc_widget*>());
    _ops = std::make_unique<kq::testing::worker_recorder>(*_window->current_worker());
}

void tst_obc_widget::cleanup()
{
    _ops.reset();
    _window.reset();
    _sat.reset();
    for (QTemporaryDir* d : {&_local, &_other}) {
        QDir(d->path()).removeRecursively();
        QDir().mkpath(d->path());
    }
}

void tst_obc_widget::answer_exists(bool resume, QStringList& buttons)
{
    when_modal<QMessageBox>([&buttons, resume](QMessageBox* box) {
        for (QAbstractButton* b : box->buttons())
            buttons << b->text();
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == (resume ? "&Resume" : "Cancel"))
                b->click();
        }
    });
}

QByteArray tst_obc_widget::random_bytes(int size)
{
    QByteArray data(size, '\0');
    for (char& c : data)
        c = char(QRandomGenerator::global()->bounded(256));
    return data;
}

QString tst_obc_widget::write_local(const QString& name, const QByteArray& data)
{
    const QString path = QDir(_local.path()).filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(data);
    return path;
}

void tst_obc_widget::select_local(const QString& path)
{
    auto* view = child<QTreeView>(*_window, "fl_local");
    auto* model = qobject_cast<QFileSystemModel*>(view->model());
    view->setCurrentIndex(model->index(path));
}

bool tst_obc_widget::select_obc(const QString& name)
{
    auto* view = child<QTreeView>(*_window, "fl_obc");
    auto* model = qobject_cast<QStandardItemModel*>(view->model());
    const auto found = model->findItems(name);
    if (found.isEmpty())
        return false;
    view->setCurrentIndex(found.first()->index());
    return true;
}

// Buttons come back after the operation and the relay's pipe drain.
void tst_obc_widget::wait_ready()
{
    QTRY_VERIFY_WITH_TIMEOUT(button("btn_dir")->isEnabled(), 20000);
}

void tst_obc_widget::click_and_wait(const char* name)
{
    wait_ready();
    _ops->control.clear();
    button(name)->click();
    QTRY_VERIFY_WITH_TIMEOUT(
        !_ops->control.isEmpty() && _ops->control.last().second != sat_worker::begin, 60000);
    wait_ready();
}

QStringList tst_obc_widget::log_lines()
{
    auto* view = child<QListWidget>(*_window, "lb_log");
    QStringList lines;
    for (int i = 0; i < view->count(); ++i)
        lines << view->item(i)->text();
    return lines;
}

void tst_obc_widget::upload_list_and_download()
{
    const QByteArray data = random_bytes(3000);
    select_local(write_local("NAME.TXT", data));
    child<QCheckBox>(*_window, "cb_verbose_log")->click(); // with the traffic shown
    click_and_wait("btn_upload");
    QCOMPARE(obc_file("NAME.TXT"), data);
    QVERIFY(select_obc("NAME.TXT")); // the listing came with the upload
    auto* model = qobject_cast<QStandardItemModel*>(child<QTreeView>(*_window, "fl_obc")->model());
    QCOMPARE(model->headerData(0, Qt::Horizontal).toString(), QString("Name"));
    QCOMPARE(model->headerData(1, Qt::Horizontal).toString(), QString("Size"));
    const int row = model->findItems("NAME.TXT").first()->row();
    // The listing gives sizes rounded to its unit.
    QCOMPARE(model->item(row, 1)->text(), QString("3 KB"));
    QCOMPARE(model->item(row, 1)->data().toUInt(), 3072u);

    select_local(_other.path());
    QVERIFY(select_obc("NAME.TXT"));
    click_and_wait("btn_download");
    // Binary blocks are shown as hex, never as raw bytes, and once each.
    QTRY_VERIFY(!log_lines().filter(QRegularExpression("  KQTTC <<< \\[BIN\\]")).isEmpty());
    QVERIFY(!log_lines().filter(QRegularExpression("  KQTTC >>> \\[BIN\\]")).isEmpty());
    QString previous;
    for (const QString& line : log_lines()) {
        for (const QChar c : line)
            QVERIFY2(c.unicode() >= 0x20 && c.unicode() != 0x7F, qPrintable(line.toUtf8().toHex()));
        const QString traffic = line.mid(line.indexOf("  KQTTC "));
        QVERIFY2(!line.contains("  KQTTC >>> ") || traffic != previous, qPrintable(line));
        previous = traffic;
    }
    QFile back(QDir(_other.path()).filePath("NAME.TXT"));
    QVERIFY(back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), data);
}

void tst_obc_widget::refuses_names_beyond_8_3_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("answers"); // OBC names typed in turn; none: Cancel
    const QString german = QString::fromUtf8("GR\xc3\x9c\xc3\x9f"
                                             "E.TXT");
    QTest::newRow("nine-letter base") << "LONGNAME1.TXT" << QStringList{};
    QTest::newRow("four-letter suffix") << "DATA.JSON" << QStringList{};
    QTest::newRow("blank") << "A B.TXT" << QStringList{};
    QTest::newRow("not ASCII, cancelled") << german << QStringList{};
    QTest::newRow("not ASCII, named again, twice") << german << QStringList{german, "GRUESSE.TXT"};
}

// A name the OBC cannot take is caught before anything is sent; another
// name can be given for the file on the OBC.
void tst_obc_widget::refuses_names_beyond_8_3()
{
    QFETCH(QString, name);
    QFETCH(QStringList, answers);
    select_local(write_local(name, "x"));
    wait_ready();
    QStringList asked;
    std::function<void(QStringList)> answer = [&](QStringList rest) {
        when_modal<QInputDialog>([&, rest](QInputDialog* d) mutable {
            asked << d->windowTitle() + '|' + d->labelText();
            if (rest.isEmpty()) {
                d->reject();
                return;
            }
            d->setTextValue(rest.takeFirst());
            answer(rest);
            d->accept();
        });
    };
    answer(answers);
    const int sent_before = _sat->link().received().size();
    _ops->control.clear();
    button("btn_upload")->click();
    QTRY_COMPARE(asked.size(), answers.size() + (answers.isEmpty() ? 1 : 0));
    QVERIFY2(asked.first().startsWith("Upload|Only an 8.3 filenames are supported.\nPlease "
                                      "rename your file and try again.\n\n" +
                                      name + ": "),
             qPrintable(asked.first()));
    if (answers.isEmpty()) {
        _ops->settle();
        QVERIFY(_ops->control.isEmpty());
        QCOMPARE(_sat->link().received().size(), sent_before); // nothing on the wire
        return;
    }
    QTRY_VERIFY_WITH_TIMEOUT(
        !_ops->control.isEmpty() && _ops->control.last().second != sat_worker::begin, 60000);
    QCOMPARE(obc_file(answers.last()), QByteArray("x"));
}

void tst_obc_widget::upload_resume_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("on_obc");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<int>("restart"); // the first block written, as an OBC offset
    QTest::newRow("1000 of 3000") << "PART.TXT" << 1000 << true << 872;
    QTest::newRow("100 of 3000") << "PART.TXT" << 100 << true << 4;
    QTest::newRow("as large") << "PART.TXT" << 3000 << false << -1;
    QTest::newRow("larger") << "PART.TXT" << 3500 << false << -1;
    QTest::newRow(".BIN 1000 of 3000") << "APP.BIN" << 1000 << true << 872 + 4;
}

void tst_obc_widget::upload_resume()
{
    QFETCH(QString, name);
    QFETCH(int, on_obc);
    QFETCH(bool, offered);
    QFETCH(int, restart);
    const QByteArray data = random_bytes(3000);
    select_local(write_local(name, data));
    const bool bin = name.endsWith(".BIN");
    if (bin) {
        // Upload whole once: the OBC keeps its own header in front.
        click_and_wait("btn_upload");
        const QByteArray whole = obc_file(name);
        QCOMPARE(whole.size(), 3004);
        put_obc_file(name, whole.left(4 + on_obc));
    } else {
        put_obc_file(name, on_obc > 3000 ? data + random_bytes(on_obc - 3000) : data.left(on_obc));
    }
    const QByteArray expected = bin ? QByteArray() : data;
    const int sent_before = _sat->link().received().size();
    QStringList buttons;
    answer_exists(offered, buttons);
    click_and_wait("btn_upload");
    QCOMPARE(buttons.contains("&Resume"), offered);
    QVERIFY(buttons.contains("&Overwrite"));
    if (!offered)
        return;
    wait_ready();
    QTRY_VERIFY_WITH_TIMEOUT(_ops->control.size() >= 2, 60000); // the resumed upload
    QTRY_VERIFY_WITH_TIMEOUT(_ops->control.last().second != sat_worker::begin, 60000);
    if (bin)
        QCOMPARE(obc_file(name).mid(4), data);
    else
        QCOMPARE(obc_file(name), expected);
    static const QRegularExpression block("^KQ\\+D11FW([0-9A-F]{8})");
    const QStringList written = _sat->link().received().mid(sent_before).filter(block);
    QVERIFY(!written.isEmpty());
    QCOMPARE(block.match(written.first()).captured(1).toInt(nullptr, 16), restart);
}

void tst_obc_widget::download_resume_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("partial");  // bytes of NAME.part, -1 for none
    QTest::addColumn<bool>("foreign"); // the partial file is of another file
    QTest::newRow("1000 of 3000") << "LOG.TXT" << 1000 << false;
    QTest::newRow("all there, unverified") << "LOG.TXT" << 3000 << false;
    QTest::newRow(".BIN 1000 of 3000") << "APP.BIN" << 1000 << false;
    QTest::newRow("another file's 1000") << "LOG.TXT" << 1000 << true;
    QTest::newRow("only the target, cancelled") << "LOG.TXT" << -1 << false;
}

// Resume is offered for an unfinished download (NAME.part) and ends with
// the verified file in the target's place; an existing target alone is
// only overwritten or kept.
void tst_obc_widget::download_resume()
{
    QFETCH(QString, name);
    QFETCH(int, partial);
    QFETCH(bool, foreign);
    const QByteArray data = random_bytes(3000);
    const bool bin = name.endsWith(".BIN");
    QByteArray header(4, '\0');
    qToLittleEndian<quint32>(checksum::qcrc32(data), header.data());
    put_obc_file(name, bin ? header + data : data);
    click_and_wait("btn_dir");
    const QString target = QDir(_other.path()).filePath(name);
    const QByteArray old = random_bytes(10);
    QVERIFY(write_file(target, old));
    if (partial >= 0)
        QVERIFY(write_file(target + ".part", (foreign ? random_bytes(3000) : data).left(partial)));
    select_local(_other.path());
    QVERIFY2(select_obc(name), qPrintable(log_lines().join('\n')));
    QStringList buttons;
    answer_exists(partial >= 0, buttons);
    click_and_wait("btn_download");
    QCOMPARE(buttons.contains("&Resume"), partial >= 0);
    if (partial >= 0) {
        QTRY_VERIFY_WITH_TIMEOUT(_ops->control.size() >= 2, 60000);
        QTRY_VERIFY_WITH_TIMEOUT(_ops->control.last().second != sat_worker::begin, 60000);
    }
    QCOMPARE(read_file(target), partial >= 0 ? data : old);
    QCOMPARE(QFile::exists(target + ".part"), false);
    QCOMPARE(log_lines().filter("starting over").size(), foreign ? 1 : 0);
    if (partial >= 0)
        QVERIFY2(!log_lines()
                      .filter(QRegularExpression("^\\S+ \\S+  INFO  downloaded " + name +
                                                 ", 3000 bytes in [0-9.]+ s, [0-9.]+ KiB/s, "
                                                 "CRC-32 [0-9A-F]{8}, verified against the OBC$"))
                      .isEmpty(),
                 qPrintable(log_lines().join('\n')));
}

void tst_obc_widget::download_refuses_a_name_leading_elsewhere()
{
    put_obc_file("../X", "outside");
    click_and_wait("btn_dir");
    const QString inner = QDir(_other.path()).filePath("inner");
    QDir().mkpath(inner);
    select_local(inner);
    QVERIFY(select_obc("../X"));
    QString warned;
    when_modal<QMessageBox>([&warned](QMessageBox* box) {
        warned = box->windowTitle();
        box->accept();
    });
    _ops->control.clear();
    button("btn_download")->click();
    QCOMPARE(warned, QString("Download"));
    _ops->settle();
    QVERIFY(_ops->control.isEmpty());
    QVERIFY(!QFile::exists(QDir(_other.path()).filePath("X")));
    QVERIFY(!QFile::exists(QDir(inner).filePath("X")));
    QTRY_VERIFY(!log_lines().filter("error downloading file: ../X").isEmpty());
}

void tst_obc_widget::erase_removes_the_file()
{
    put_obc_file("OLD.LOG", "old");
    click_and_wait("btn_dir");
    QVERIFY(select_obc("OLD.LOG"));
    QStringList seen;
    kq::testing::answer_boxes({"&Yes"}, &seen);
    click_and_wait("btn_erase");
    QCOMPARE(seen,
             QStringList{"Erase|You are about do erase OLD.LOG from OBC.\nAre you sure?|&No"});
    QVERIFY(!_sat->with_obc([](obc_computer& o) { return o.files().contains("OLD.LOG"); }));
    QVERIFY(!select_obc("OLD.LOG"));
}

// The local tree opens at the folder last used, and Home falls back to the
// home folder when there is no documents folder.
void tst_obc_widget::local_tree_starts_where_it_was_left()
{
    auto* view = child<QTreeView>(*_window, "fl_local");
    auto* model = qobject_cast<QFileSystemModel*>(view->model());
    select_local(write_local("A.TXT", "a"));
    kq::testing::connect_window(*_window, 4, _sat->port_name()); // a new panel
    view = child<QTreeView>(*_window, "fl_local");
    model = qobject_cast<QFileSystemModel*>(view->model());
    QCOMPARE(model->filePath(view->currentIndex()), QDir(_local.path()).absolutePath());
    QVERIFY(!view->isColumnHidden(1)); // Size

    const QByteArray home = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(_other.path()));
    button("btn_localfs_home")->click();
    QCOMPARE(model->filePath(view->currentIndex()), QDir(_other.path()).absolutePath());
    QVERIFY(QDir(_other.path()).mkdir("Documents"));
    button("btn_localfs_home")->click();
    qputenv("HOME", home);
    QCOMPARE(model->filePath(view->currentIndex()), QDir(_other.path()).filePath("Documents"));
}

void tst_obc_widget::flash_walks_its_steps()
{
    select_local(write_local("APP.BIN", random_bytes(2048)));
    click_and_wait("btn_upload");
    QVERIFY(select_obc("APP.BIN"));
    QStringList asked;
    kq::testing::answer_boxes({"&Yes"}, &asked);
    click_and_wait("btn_flash");
    QCOMPARE(asked, QStringList{"Flash|You are about do flash the device with APP.BIN\nAre you "
                                "sure?|&No"}); // No is the default
    QCOMPARE(_ops->control.first().first, int(sat_worker::FLASH));
    auto* bar = child<QProgressBar>(*_window, "progress");
    QVERIFY(bar->maximum() > 0);
    QCOMPARE(bar->value(), bar->maximum());
    QVERIFY(log_lines().filter(QRegularExpression("^\\S+ \\S+  ERROR")).isEmpty());
}

// Set mode waits for a read of the mode, and asks, No by default, naming
// the mode and the restart.
void tst_obc_widget::boot_mode_read_and_set()
{
    wait_ready();
    QVERIFY(!button("btn_set_obc_mode")->isEnabled());
    click_and_wait("btn_read");
    auto* mode = child<QComboBox>(*_window, "cb_boot_mode");
    QCOMPARE(mode->currentText(), QString("Application"));
    QVERIFY(!child<QLabel>(*_window, "label_time_result")->text().isEmpty());
    mode->setCurrentIndex(mode->findData(11));
    QStringList seen;
    kq::testing::answer_boxes({"&No"}, &seen);
    button("btn_set_obc_mode")->click();
    QTRY_COMPARE(seen.size(), 1);
    QCOMPARE(seen.first(),
             QString("Set mode|Restart the on-board computer into Bootloader mode?\n\n"
                     "It stops what it is doing and stays silent while it "
                     "restarts.|&No"));
    QCOMPARE(_sat->with_obc([](obc_computer& o) { return o.mode(); }), QString("APPL"));
    kq::testing::answer_boxes({"&Yes"}, &seen);
    click_and_wait("btn_set_obc_mode");
    QCOMPARE(_sat->with_obc([](obc_computer& o) { return o.mode(); }), QString("BOOT"));
}

void tst_obc_widget::automatic_utc_time_writes_only_the_time()
{
    QSettings().setValue("obc/auto_time_type", 2);
    const auto writes = [this](const char* code) {
        return _sat->link()
            .received()
            .filter(QRegularExpression(QString("^KQ\\+W11") + code))
            .size();
    };
    click_and_wait("btn_dir");
    QVERIFY(writes("32") >= 1);
    // The simulated OBC's clock already shows today (UTC on this machine's
    // clock), so its date stays.
    if (QDate::currentDate() == QDateTime::currentDateTimeUtc().date())
        QCOMPARE(writes("34"), 0);
    const QDateTime obc = _sat->with_obc([](obc_computer& o) { return o.clock(); });
    QVERIFY(qAbs(obc.time().secsTo(QDateTime::currentDateTimeUtc().time())) <= 5);
}

KQ_GUI_TEST_MAIN(tst_obc_widget)
#include "tst_obc_widget.moc"
