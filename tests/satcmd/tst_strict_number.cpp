#include "satcmd/strict_number.h"

#include <QtTest>

using kq::api::proto::strict_number;

// Numbers typed by a user: read as written, or refused.
class tst_strict_number : public QObject
{
    Q_OBJECT

private slots:
    void numbers_data();
    void numbers();
};

void tst_strict_number::numbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("whole"); // parsed as a whole number (else as a real)
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("value");
    QTest::newRow("decimal") << "34" << true << true << 34.0;
    QTest::newRow("hex") << "0x22" << true << true << 34.0;
    QTest::newRow("zero") << "0" << true << true << 0.0;
    QTest::newRow("negative") << "-5" << true << true << -5.0;
    QTest::newRow("leading zero, not octal") << "022" << true << false << 0.0;
    QTest::newRow("blank before") << " 5" << true << false << 0.0;
    QTest::newRow("blank after") << "5 " << true << false << 0.0;
    QTest::newRow("plus sign") << "+5" << true << false << 0.0;
    QTest::newRow("negative zero") << "-0" << true << false << 0.0;
    QTest::newRow("negative zero, real") << "-0.0" << false << false << 0.0;
    QTest::newRow("negative real") << "-0.5" << false << true << -0.5;
    QTest::newRow("signed hex") << "-0x5" << true << false << 0.0;
    QTest::newRow("bare 0x") << "0x" << true << false << 0.0;
    QTest::newRow("empty") << "" << true << false << 0.0;
    QTest::newRow("fraction as whole") << "1.5" << true << false << 0.0;
    QTest::newRow("real") << "437.05" << false << true << 437.05;
    QTest::newRow("real with exponent") << "4.37e2" << false << true << 437.0;
    QTest::newRow("nan") << "nan" << false << false << 0.0;
    QTest::newRow("inf") << "inf" << false << false << 0.0;
    QTest::newRow("real with blank") << "437 " << false << false << 0.0;
    QTest::newRow("overflowing exponent") << "1e999" << false << false << 0.0;
}

void tst_strict_number::numbers()
{
    QFETCH(QString, text);
    QFETCH(bool, whole);
    QFETCH(bool, ok);
    QFETCH(double, value);
    double got = -1.0;
    bool parsed = false;
    if (whole) {
        qint64 v = -1;
        parsed = strict_number::to_int64(text, v);
        got = double(v);
    } else {
        parsed = strict_number::to_real(text, got);
    }
    QCOMPARE(parsed, ok);
    if (ok)
        QCOMPARE(got, value);
}

QTEST_GUILESS_MAIN(tst_strict_number)
#include "tst_strict_number.moc"
