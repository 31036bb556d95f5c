#include "satcmd/error_descriptor.h"
#include "test_environment.h"

using namespace kq::api::proto;

class tst_error_descriptor : public QObject
{
    Q_OBJECT

private slots:
    void proto_exception_carries_its_fields();
    void descriptor_from_each_kind_data();
    void descriptor_from_each_kind();
    void first_non_null_wins();
    void copies_through_qvariant();
};

void tst_error_descriptor::proto_exception_carries_its_fields()
{
    const proto_exception p(proto_exception::crc_error, 0xA9, "X",
                            QString::fromUtf8("b\xc3\xa4"
                                              "d"),
                            proto_exception::no_retry);
    QCOMPARE(p.get_type(), proto_exception::crc_error);
    QCOMPARE(int(p.get_code()), 0xA9);
    QCOMPARE(p.get_exec_context(), QString("X"));
    QCOMPARE(p.get_retry_behaviour(), proto_exception::no_retry);
    QCOMPARE(QByteArray(p.what()), QByteArray("b\xc3\xa4"
                                              "d"));
}

void tst_error_descriptor::descriptor_from_each_kind_data()
{
    QTest::addColumn<int>("kind"); // 0 none, 1 media, 2 proto, 3 std::exception, 4 runtime_error
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("context");
    QTest::addColumn<int>("media_error");
    QTest::addColumn<int>("proto_error");

    QTest::newRow("none") << 0 << ""
                          << "" << 0 << 0;
    QTest::newRow("media timeout") << 1 << ""
                                   << "" << 1 << 0;
    QTest::newRow("proto crc") << 2 << "bad"
                               << "X" << 0 << 6;
    QTest::newRow("plain std::exception") << 3 << ""
                                          << "" << 0 << 0;
    QTest::newRow("runtime_error") << 4 << "unsupported baud_rate"
                                   << "" << 0 << 0;
}

void tst_error_descriptor::descriptor_from_each_kind()
{
    QFETCH(int, kind);
    QFETCH(QString, message);
    QFETCH(QString, context);
    QFETCH(int, media_error);
    QFETCH(int, proto_error);

    const media_exception m(media_exception::timeout);
    const proto_exception p(proto_exception::crc_error, 0, "X", "bad", proto_exception::retry);
    const std::exception e;
    const std::runtime_error r("unsupported baud_rate");

    error_descriptor d;
    switch (kind) {
    case 1:
        d = error_descriptor(&m, nullptr, nullptr);
        break;
    case 2:
        d = error_descriptor(nullptr, &p, nullptr);
        break;
    case 3:
        d = error_descriptor(nullptr, nullptr, &e);
        break;
    case 4:
        d = error_descriptor(nullptr, nullptr, &r);
        break;
    default:
        break;
    }
    QCOMPARE(d.get_message(), message);
    QCOMPARE(d.get_exec_context(), context);
    QCOMPARE(int(d.get_media_error()), media_error);
    QCOMPARE(int(d.get_proto_error()), proto_error);
}

void tst_error_descriptor::first_non_null_wins()
{
    const media_exception m(media_exception::stopped);
    const proto_exception p(proto_exception::busy, 0, "NOT_DEFINED", "", proto_exception::retry);
    const std::runtime_error r("other");
    const error_descriptor d(&m, &p, &r);
    QCOMPARE(d.get_media_error(), media_exception::stopped);
    QCOMPARE(d.get_proto_error(), proto_exception::no_error);
    QCOMPARE(d.get_exec_context(), QString());
    QCOMPARE(d.get_message(), QString());

    const error_descriptor d2(nullptr, &p, &r);
    QCOMPARE(d2.get_proto_error(), proto_exception::busy);
    QCOMPARE(d2.get_exec_context(), QString("NOT_DEFINED"));
}

void tst_error_descriptor::copies_through_qvariant()
{
    const proto_exception p(proto_exception::pipe_error, 3, "res_get_scw", "+KQTTC",
                            proto_exception::retry);
    const QVariant v = QVariant::fromValue(error_descriptor(nullptr, &p, nullptr));
    const auto d = v.value<error_descriptor>();
    QCOMPARE(d.get_proto_error(), proto_exception::pipe_error);
    QCOMPARE(d.get_message(), QString("+KQTTC"));
    QCOMPARE(d.get_exec_context(), QString("res_get_scw"));
}

KQ_TEST_MAIN(tst_error_descriptor)
#include "tst_error_descriptor.moc"
