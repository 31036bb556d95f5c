#include "panelkit/error_advice.h"
#include "panelkit/resource_manager.h"
#include "test_environment.h"

using namespace kq::api::proto;
using kq::gui::resource_manager;
using kq::gui::sat_worker;

class tst_resource_manager : public QObject
{
    Q_OBJECT

private slots:
    void media_texts_data();
    void media_texts();
    void proto_texts_data();
    void proto_texts();
    void states_and_operations();
    void descriptors_data();
    void descriptors();
    void advice_data();
    void advice();
};

void tst_resource_manager::media_texts_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    const char* texts[] = {"no error",
                           "please check com port and device address",
                           "media not open",
                           "error while opening media",
                           "error while reading data",
                           "error while writing data",
                           "stopped",
                           "general error"};
    for (int k = 0; k < 8; ++k)
        QTest::addRow("%d", k) << k << texts[k];
    QTest::newRow("unknown") << 9 << "<< operation string not configured >>>";
}

void tst_resource_manager::media_texts()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    QCOMPARE(resource_manager().get_media_exception_string(media_exception::exception_type_e(key)),
             text);
}

void tst_resource_manager::proto_texts_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("text");
    const char* texts[] = {"no error",
                           "general error",
                           "please check com port and device address",
                           "command response error",
                           "invalid result value in response",
                           "parameter error",
                           "CRC error",
                           "PIPE error",
                           "AX25 error",
                           "another command is in progress"};
    for (int k = 0; k < 10; ++k)
        QTest::addRow("%d", k) << k << texts[k];
    QTest::newRow("unknown") << 10 << "<< operation string not configured >>>";
}

void tst_resource_manager::proto_texts()
{
    QFETCH(int, key);
    QFETCH(QString, text);
    QCOMPARE(resource_manager().get_proto_exception_string(proto_exception::exception_type_e(key)),
             text);
}

void tst_resource_manager::states_and_operations()
{
    const resource_manager r;
    QCOMPARE(r.get_connection_state_string(sat_worker::pipe_drain), QString("pipe drain"));
    QCOMPARE(r.get_connection_state_string(sat_worker::error), QString("error occured"));
    QCOMPARE(r.get_connection_state_string(sat_worker::connection_state_e(5)),
             resource_manager::fallback_text());
    QCOMPARE(r.get_operation_type_string(sat_worker::READ, sat_worker::begin),
             QString("begin of READ operation"));
    QCOMPARE(r.get_operation_type_string(sat_worker::DIR, sat_worker::end),
             QString("end of DIR operation"));
    QCOMPARE(r.get_operation_error_string(sat_worker::FLASH),
             QString("error while performing FLASH operation"));
    QCOMPARE(r.get_operation_type_string(sat_worker::AX25_BEACON, sat_worker::begin),
             QString("begin of << operation string not configured >>> operation"));
    bool threw = false;
    try {
        r.get_operation_type_string(sat_worker::READ, sat_worker::operation_status_e(3));
    } catch (const std::out_of_range& e) {
        threw = QString(e.what()) == "map::at";
    }
    QVERIFY(threw);
}

void tst_resource_manager::descriptors_data()
{
    QTest::addColumn<int>("media");
    QTest::addColumn<int>("proto");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("verbose");
    QTest::addColumn<QString>("text");
    QTest::newRow("crc verbose") << 0 << 6 << "bad" << 10 << "CRC error: bad";
    QTest::newRow("crc quiet") << 0 << 6 << "bad" << 4 << "CRC error";
    QTest::newRow("message only") << 0 << 0 << "oops" << 10 << ": oops";
    QTest::newRow("media wins") << 1 << 0 << "" << 10 << "please check com port and device address";
    QTest::newRow("nothing") << 0 << 0 << "" << 10 << "";
}

void tst_resource_manager::descriptors()
{
    QFETCH(int, media);
    QFETCH(int, proto);
    QFETCH(QString, message);
    QFETCH(int, verbose);
    QFETCH(QString, text);
    error_descriptor d;
    const media_exception m{media_exception::exception_type_e(media)};
    const proto_exception p(proto_exception::exception_type_e(proto), 0, "X", message,
                            proto_exception::retry);
    const std::runtime_error e(message.toStdString());
    if (media)
        d = error_descriptor(&m, nullptr, nullptr);
    else if (proto)
        d = error_descriptor(nullptr, &p, nullptr);
    else
        d = error_descriptor(nullptr, nullptr, &e);
    resource_manager r;
    r.set_verbose_level(verbose);
    QCOMPARE(r.get_error_descriptor_string(d), text);
}

void tst_resource_manager::advice_data()
{
    QTest::addColumn<int>("media");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("advice"); // the start of it; empty: none
    QTest::newRow("relay answered for the module behind it")
        << 0 << "ERR+KQTTC"
        << "the transceiver on the wire answered a command meant";
    QTest::newRow("accented beacon text") << 0 << "INVALID_TEXT_BEACON_MESSAGE"
                                          << "the beacon text takes printable ASCII";
    QTest::newRow("longer code is its own") << 0 << "INVALID_TEXT_BEACON_MESSAGE_LENGTH"
                                            << "the beacon text is at most 128";
    QTest::newRow("code with detail") << 0 << "ERR+NOFILE: DATA.LOG"
                                      << "no such file";
    QTest::newRow("no answer") << int(media_exception::timeout) << ""
                               << "nothing answered";
    QTest::newRow("unknown code") << 0 << "ERR+WHATEVER"
                                  << "";
    QTest::newRow("code inside a word") << 0 << "ERR+KQTTCX"
                                        << "";
}

// The device's code stays and the plain words follow it in brackets.
void tst_resource_manager::advice()
{
    QFETCH(int, media);
    QFETCH(QString, message);
    QFETCH(QString, advice);
    const media_exception m{media_exception::exception_type_e(media)};
    const proto_exception p(proto_exception::command_response_error, 0, "X", message,
                            proto_exception::retry);
    const error_descriptor d =
        media ? error_descriptor(&m, nullptr, nullptr) : error_descriptor(nullptr, &p, nullptr);
    const QString text = kq::gui::error_advice::with_advice(QStringLiteral("TEXT"), d);
    if (advice.isEmpty()) {
        QCOMPARE(text, QStringLiteral("TEXT"));
        return;
    }
    QVERIFY2(text.startsWith(QStringLiteral("TEXT (") + advice), qPrintable(text));
    QVERIFY(text.endsWith(QLatin1Char(')')));
}

KQ_TEST_MAIN(tst_resource_manager)
#include "tst_resource_manager.moc"
