#include "serline/serial_port_atomic.h"
#include "test_environment.h"

using kq::api::proto::serial_port_atomic;

// The splitter alone, on buffers built by hand.
class tst_line_splitter : public QObject
{
    Q_OBJECT

private slots:
    void splits_data();
    void splits();
    void no_terminator_leaves_buffer_untouched_data();
    void no_terminator_leaves_buffer_untouched();
};

void tst_line_splitter::splits_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QByteArray>("term");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QByteArray>("rest");

    QTest::newRow("cr lf leaves the lf")
        << QByteArray("OK\r\n") << QByteArray("\r\n") << "OK" << QByteArray("\n");
    QTest::newRow("lone lf") << QByteArray("\n") << QByteArray("\r\n") << "" << QByteArray();
    QTest::newRow("earliest terminator wins")
        << QByteArray("A\nB\r") << QByteArray("\r\n") << "A" << QByteArray("B\r");
    QTest::newRow("only listed terminators")
        << QByteArray("A\rB\n") << QByteArray("\n") << "A\rB" << QByteArray();
    QTest::newRow("nul cuts the line, bytes consumed")
        << QByteArray("AB\0CD\rEF", 8) << QByteArray("\r") << "AB" << QByteArray("EF");
    QTest::newRow("utf8 decoded") << QByteArray("caf\xc3\xa9\r") << QByteArray("\r")
                                  << QString::fromUtf8("caf\xc3\xa9") << QByteArray();
    QTest::newRow("list ends at high byte")
        << QByteArray("A\rB;") << QByteArray("\r\x80;") << "A" << QByteArray("B;");
}

void tst_line_splitter::splits()
{
    QFETCH(QByteArray, buffer);
    QFETCH(QByteArray, term);
    QFETCH(QString, line);
    QFETCH(QByteArray, rest);

    QString got = "untouched";
    QVERIFY(serial_port_atomic::extract_line_from_byte_array(buffer, got, term.constData()));
    QCOMPARE(got, line);
    QCOMPARE(buffer, rest);
}

void tst_line_splitter::no_terminator_leaves_buffer_untouched_data()
{
    QTest::addColumn<QByteArray>("buffer");
    QTest::addColumn<QByteArray>("term");

    QTest::newRow("no terminator yet") << QByteArray("PARTIAL") << QByteArray("\r\n");
    QTest::newRow("empty list") << QByteArray("A\rB\n") << QByteArray("");
    QTest::newRow("list starting with a high byte") << QByteArray("A\rB\n") << QByteArray("\x90\r");
    QTest::newRow("empty buffer") << QByteArray() << QByteArray("\r\n");
}

void tst_line_splitter::no_terminator_leaves_buffer_untouched()
{
    QFETCH(QByteArray, buffer);
    QFETCH(QByteArray, term);

    const QByteArray before = buffer;
    QString line = "untouched";
    QVERIFY(!serial_port_atomic::extract_line_from_byte_array(buffer, line, term.constData()));
    QCOMPARE(buffer, before);
    QCOMPARE(line, QString("untouched"));
    QVERIFY(!serial_port_atomic::extract_line_from_byte_array(buffer, line, nullptr));
}

KQ_TEST_MAIN(tst_line_splitter)
#include "tst_line_splitter.moc"
