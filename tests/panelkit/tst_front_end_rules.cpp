#include "panelkit/connection_route.h"
#include "panelkit/link_status.h"
#include "panelkit/module_settings.h"
#include "panelkit/monitor_sampler.h"
#include "panelkit/obc_file_names.h"
#include "panelkit/uhf_config.h"
#include "satcmd/error_descriptor.h"
#include "test_environment.h"

#include <QSettings>

#include <cmath>
#include <limits>
#include <stdexcept>

// The route is a QLinkedList.
QT_WARNING_DISABLE_DEPRECATED

using namespace kq::gui;
using namespace kq::api::proto;

Q_DECLARE_METATYPE(connection_type_e)

namespace {

// A route as "role:address:type" per hop.
QStringList hops(const route_t& route)
{
    QStringList out;
    for (const module_connect_props_t& h : route)
        out << QStringLiteral("%1:%2:%3").arg(h.role).arg(h.dev_addr, 0, 16).arg(h.module_type);
    return out;
}

} // namespace

// Rules shared by the configurator's panels and the command-line driver.
class tst_front_end_rules : public QObject
{
    Q_OBJECT

private slots:
    void routes_data();
    void routes();
    void relay_carries_frequency_and_mode();
    void mhz_to_hz_data();
    void mhz_to_hz();
    void short_names_data();
    void short_names();
    void local_names_data();
    void local_names();
    void resume_positions_data();
    void resume_positions();
    void stored_timing_is_refused_not_cut_data();
    void stored_timing_is_refused_not_cut();
    void configuration_files_are_checked_data();
    void configuration_files_are_checked();
    void link_status_data();
    void link_status();
    void monitor_slots_data();
    void monitor_slots();
};

void tst_front_end_rules::routes_data()
{
    QTest::addColumn<connection_type_e>("type");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("none") << connection_none << QStringList{};
    QTest::newRow("xHF") << connection_xhf << QStringList{"3:22:2"};
    QTest::newRow("xHF->xHF") << connection_xhf_xhf << QStringList{"1:22:2", "3:23:2"};
    QTest::newRow("OBC") << connection_obc << QStringList{"3:11:1"};
    QTest::newRow("xHF->xHF->OBC")
        << connection_xhf_xhf_obc << QStringList{"1:22:2", "2:23:2", "3:11:1"};
    QTest::newRow("beacon receiver") << connection_beacon << QStringList{"1:22:2", "3:23:2"};
}

void tst_front_end_rules::routes()
{
    QFETCH(connection_type_e, type);
    QFETCH(QStringList, expected);
    QCOMPARE(hops(build_route(type, route_choice_t())), expected);
}

void tst_front_end_rules::relay_carries_frequency_and_mode()
{
    route_choice_t c;
    c.frequency_mhz = 437.05;
    c.rf_mode = rf_mode_19200_9600;
    const route_t route = build_route(connection_xhf_xhf_obc, c);
    QCOMPARE(route.first().frequency, uint64_t(437050000));
    QCOMPARE(route.first().rf_mode, rf_mode_19200_9600);
    // Hops past the local relay keep the record defaults.
    QCOMPARE(route.last().frequency, uint64_t(420000000));
    QCOMPARE(route.last().rf_mode, rf_mode_1200_600);
    QCOMPARE(rf_mode_labels().value(3), QStringLiteral("2GFSK-9600-2400"));
}

void tst_front_end_rules::mhz_to_hz_data()
{
    QTest::addColumn<double>("mhz");
    QTest::addColumn<qulonglong>("hz");
    QTest::newRow("437.05 is not one hertz short") << 437.05 << 437050000ull;
    QTest::newRow("435") << 435.0 << 435000000ull;
    QTest::newRow("kHz step") << 401.125 << 401125000ull;
    QTest::newRow("negative") << -1.0 << 0ull;
    QTest::newRow("not a number") << std::nan("") << 0ull;
    QTest::newRow("infinite") << std::numeric_limits<double>::infinity() << 0ull;
}

void tst_front_end_rules::mhz_to_hz()
{
    QFETCH(double, mhz);
    QFETCH(qulonglong, hz);
    QCOMPARE(qulonglong(kq::gui::mhz_to_hz(mhz)), hz);
}

void tst_front_end_rules::short_names_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("ok");
    QTest::newRow("NAME.TXT") << "NAME.TXT" << true;
    QTest::newRow("no suffix") << "README" << true;
    QTest::newRow("punctuation of the listing") << "A_B-1~(2).T$T" << false; // 9 before the dot
    QTest::newRow("short punctuation") << "A_B-~(2).T$T" << true;
    QTest::newRow("parent folder") << "../X.TXT" << false;
    QTest::newRow("absolute") << "/X.TXT" << false;
    QTest::newRow("backslash") << "A\\B.TXT" << false;
    QTest::newRow("wildcard") << "A*.TXT" << false;
    QTest::newRow("blank") << "A B.TXT" << false;
    QTest::newRow("CR inside") << "A\rB.TXT" << false;
    QTest::newRow("non-ASCII") << QString::fromUtf8("GR\xc3\x9c.TXT") << false;
    QTest::newRow("empty suffix") << "NAME." << false;
    QTest::newRow("9-character base") << "LONGNAME1.TXT" << false;
    QTest::newRow("4-character suffix") << "DATA.JSON" << false;
    QTest::newRow("two dots") << "A.B.C" << false;
    QTest::newRow("empty base") << ".TXT" << false;
}

void tst_front_end_rules::short_names()
{
    QFETCH(QString, name);
    QFETCH(bool, ok);
    QCOMPARE(obc_files::is_short_name(name), ok);
}

void tst_front_end_rules::local_names_data()
{
    QTest::addColumn<QString>("obc_name");
    QTest::addColumn<QString>("local");
    QTest::newRow("plain") << "LOG1.TXT"
                           << "LOG1.TXT";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("dot") << "."
                         << "";
    QTest::newRow("parent") << ".."
                            << "";
    QTest::newRow("climbing") << "../x"
                              << "";
    QTest::newRow("absolute") << "/etc/passwd"
                              << "";
    QTest::newRow("backslash") << "..\\x"
                               << "";
    QTest::newRow("NUL") << QString::fromLatin1("A\0B", 3) << "";
    QTest::newRow("blanks around parent") << " .. "
                                          << "";
}

void tst_front_end_rules::local_names()
{
    QFETCH(QString, obc_name);
    QFETCH(QString, local);
    QString why;
    QCOMPARE(obc_files::local_name_for(obc_name, &why), local);
    QCOMPARE(why.isEmpty(), !local.isEmpty());
}

void tst_front_end_rules::resume_positions_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("obc_size");
    QTest::addColumn<uint>("content");
    QTest::addColumn<uint>("upload_from");
    QTest::newRow("1000 backs off to 872") << "A.DAT" << 1000u << 1000u << 872u;
    QTest::newRow("100 backs off to 4") << "A.DAT" << 100u << 100u << 4u;
    QTest::newRow("0 is a fresh upload") << "A.DAT" << 0u << 0u << 0u;
    QTest::newRow(".BIN less its header") << "APP.BIN" << 1004u << 1000u << 872u;
    QTest::newRow(".bin in any case") << "app.bin" << 104u << 100u << 4u;
    QTest::newRow(".BIN header only") << "APP.BIN" << 4u << 0u << 0u;
    QTest::newRow(".BIN shorter than a header") << "APP.BIN" << 2u << 0u << 0u;
}

void tst_front_end_rules::resume_positions()
{
    QFETCH(QString, name);
    QFETCH(uint, obc_size);
    QFETCH(uint, content);
    QFETCH(uint, upload_from);
    QCOMPARE(uint(obc_files::content_size(name, obc_size)), content);
    QCOMPARE(uint(obc_files::upload_resume_position(content)), upload_from);
}

void tst_front_end_rules::stored_timing_is_refused_not_cut_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<bool>("refused");
    QTest::newRow("a count") << "repeats_m" << QVariant("3") << false;
    QTest::newRow("negative count") << "repeats_m" << QVariant("-1") << true;
    QTest::newRow("fraction") << "timeout_m" << QVariant("1500.5") << true;
    QTest::newRow("not a number") << "timeout_l" << QVariant("nan") << true;
    QTest::newRow("words") << "timeout_s" << QVariant("fast") << true;
    QTest::newRow("pipe of 255 s") << "timeout_pipe" << QVariant(255000) << false;
    QTest::newRow("pipe above 255 s") << "timeout_pipe" << QVariant(256000) << true;
    QTest::newRow("zero timeout") << "timeout_xl" << QVariant(0) << true;
}

// A hand-edited settings file: a value that is not a whole number in its
// range is refused with its key, never turned into another number.
void tst_front_end_rules::stored_timing_is_refused_not_cut()
{
    QFETCH(QString, key);
    QFETCH(QVariant, value);
    QFETCH(bool, refused);
    QSettings s;
    s.clear();
    s.setValue("command/" + key, value);
    QString error;
    kq::api::proto::module_config_t c;
    try {
        c = kq::gui::module_config_from_settings(s);
    } catch (const std::invalid_argument& e) {
        error = QString::fromUtf8(e.what());
    }
    s.clear();
    QCOMPARE(!error.isEmpty(), refused);
    if (refused)
        QVERIFY2(error.contains("command/" + key), qPrintable(error));
    else
        QCOMPARE(c.*kq::api::proto::module_config_t::find_setting(key)->field, value.toInt());
}

void tst_front_end_rules::configuration_files_are_checked_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("refusal"); // empty: taken
    const QByteArray head = R"("format": "kq-module-parameters", "format_version": 1, )";
    const auto with = [&head](const QByteArray& rest) { return "{" + head + rest; };
    QTest::newRow("good") << with(R"("module": "uhf", "parameters": {"freq": 437.05,
        "beacon": true, "rf-mode": "2GFSK-9600-2400", "address": "0x23"}})")
                          << "";
    QTest::newRow("not JSON") << QByteArray("freq=437") << "not a configuration file";
    QTest::newRow("another format")
        << QByteArray(R"({"format": "x", "format_version": 1, "module": "uhf", "parameters": {}})")
        << "\"format\"";
    QTest::newRow("newer version")
        << QByteArray(R"({"format": "kq-module-parameters", "format_version": 2,
            "module": "uhf", "parameters": {}})")
        << "\"format_version\": 2 is newer than this tool reads (1)";
    QTest::newRow("another module") << with(R"("module": "xband", "parameters": {}})")
                                    << "\"module\": the file is for \"xband\", not \"uhf\"";
    QTest::newRow("unknown key") << with(R"("module": "uhf", "colour": 1, "parameters": {}})")
                                 << "\"colour\": unknown key";
    QTest::newRow("unknown parameter") << with(R"("module": "uhf", "parameters": {"power": 3}})")
                                       << "\"power\": no such parameter";
    QTest::newRow("read-only parameter")
        << with(R"("module": "uhf", "parameters": {"version": "X"}})") << "\"version\": read only";
    QTest::newRow("out of range") << with(R"("module": "uhf", "parameters": {"freq": 500}})")
                                  << "\"freq\": freq=500: MHz from 400 to 440";
    QTest::newRow("not a value") << with(
                                        R"("module": "uhf", "parameters": {"pipe-timeout": [10]}})")
                                 << "\"pipe-timeout\"";
    QTest::newRow("no parameters") << with(R"("module": "uhf"})") << "\"parameters\"";
    QTest::newRow("an array") << QByteArray("[]") << "a JSON array, not an object of keys";
    QTest::newRow("a key twice") << with(R"("module": "uhf", "parameters": {"freq": 437.05,
        "beacon": true, "freq": 435.0, "address": "0x23"}})")
                                 << "\"freq\": the key is given twice";
    QTest::newRow("a key twice at the top")
        << with(R"("module": "uhf", "module": "uhf", "parameters": {}})") << "\"module\": the key";
    QTest::newRow("the same name in two objects")
        << with(R"("module": "uhf", "status": {"freq": 1}, "parameters": {"freq": 437.05,
        "beacon": true, "rf-mode": "2GFSK-9600-2400", "address": "0x23"}})")
        << "";
    QTest::newRow("a NUL in a value")
        << with(R"("module": "uhf", "parameters": {"rf-mode": "2GFSK\u0000-9600"}})")
        << "\\u0000-9600";
}

// A file from elsewhere or from a newer tool is refused with the key named;
// nothing of it would be written.
void tst_front_end_rules::configuration_files_are_checked()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, refusal);
    try {
        const param_snapshot s = param_file::from_json(file, "uhf", uhf_config::check);
        QVERIFY2(refusal.isEmpty(), "taken");
        QCOMPARE(s.parameters.size(), 4);
        // Saved again, the file reads back as it was.
        const param_snapshot again =
            param_file::from_json(param_file::to_json(s), "uhf", uhf_config::check);
        QCOMPARE(again.parameters, s.parameters);
        QVERIFY(uhf_config::diff(s.parameters, again.parameters).isEmpty());
    } catch (const param_file_error& e) {
        QVERIFY2(!refusal.isEmpty() && QString::fromStdString(e.what()).contains(refusal),
                 e.what());
    }
}

void tst_front_end_rules::link_status_data()
{
    // o: opening the port, p: port open, a: an answer, r: a refusal,
    // t: a timeout, f: the port failed; one second between events from 12:00:00
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("text");
    QTest::newRow("nothing yet") << ""
                                 << "not used yet";
    QTest::newRow("opened") << "op"
                            << "port open";
    QTest::newRow("answered") << "opa"
                              << "answering";
    QTest::newRow("a refusal is an answer") << "opr"
                                            << "answering";
    QTest::newRow("silent since the first timeout") << "opatt"
                                                    << "no answer since 12:00:04";
    QTest::newRow("an answer ends the silence") << "optta"
                                                << "answering";
    QTest::newRow("silence outlives reopening") << "opatop"
                                                << "no answer since 12:00:04";
    QTest::newRow("missing port") << "of"
                                  << "port cannot be opened";
    QTest::newRow("port back") << "ofop"
                               << "port open";
}

// The status bar's word for the link after what the worker reported.
void tst_front_end_rules::link_status()
{
    QFETCH(QString, events);
    QFETCH(QString, text);
    kq::gui::link_status link;
    const media_exception timeout(media_exception::timeout);
    const media_exception open_failed(media_exception::open_failed);
    const proto_exception refusal(proto_exception::command_response_error, 0, "X", "ERR+MODE",
                                  proto_exception::no_retry);
    QDateTime at(QDate(2026, 3, 1), QTime(12, 0, 0));
    for (const QChar e : events) {
        at = at.addSecs(1);
        switch (e.toLatin1()) {
        case 'o':
            link.opening_port();
            break;
        case 'p':
            link.port_opened();
            break;
        case 'a':
            link.answered(at);
            break;
        case 'r':
            link.failed(error_descriptor(nullptr, &refusal, nullptr), at);
            break;
        case 't':
            link.failed(error_descriptor(&timeout, nullptr, nullptr), at);
            break;
        case 'f':
            link.failed(error_descriptor(&open_failed, nullptr, nullptr), at);
            break;
        }
    }
    QCOMPARE(link.text(), text);
}

// A monitor keeps to its interval: a sample that overran skips the slots it
// missed instead of making them up at once.
void tst_front_end_rules::monitor_slots_data()
{
    QTest::addColumn<qint64>("due");
    QTest::addColumn<qint64>("now");
    QTest::addColumn<qint64>("next");
    QTest::newRow("on time") << qint64(0) << qint64(20) << qint64(1000);
    QTest::newRow("slow but in time") << qint64(3000) << qint64(3450) << qint64(4000);
    QTest::newRow("too close to the next slot") << qint64(1000) << qint64(1600) << qint64(3000);
    QTest::newRow("stalled for five slots") << qint64(0) << qint64(5020) << qint64(6000);
    QTest::newRow("stalled to just before a slot") << qint64(0) << qint64(4990) << qint64(6000);
}

void tst_front_end_rules::monitor_slots()
{
    QFETCH(qint64, due);
    QFETCH(qint64, now);
    QFETCH(qint64, next);
    const int64_t got = kq::gui::monitor_sampler::next_due_ms(due, now, 1000);
    QCOMPARE(qint64(got), next);
    QVERIFY(got - now >= 500); // never a row right after the late one
    QCOMPARE((got - due) % 1000, int64_t(0));
}

KQ_TEST_MAIN(tst_front_end_rules)
#include "tst_front_end_rules.moc"
