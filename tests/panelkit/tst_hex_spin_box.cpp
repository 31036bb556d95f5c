#include "panelkit/hex_spin_box.h"
#include "test_environment.h"

#include <QLineEdit>

using kq::gui::HexSpinBox;

namespace {

// Opens the spin box's protected conversions to the test.
class probe_t : public HexSpinBox
{
public:
    using HexSpinBox::HexSpinBox;
    using HexSpinBox::lineEdit;
    using HexSpinBox::textFromValue;
    using HexSpinBox::validate;
    using HexSpinBox::valueFromText;
};

} // namespace

// The hexadecimal spin box used for addresses and words.
class tst_hex_spin_box : public QObject
{
    Q_OBJECT

private slots:
    void ranges();
    void text_from_value_data();
    void text_from_value();
    void value_from_text_data();
    void value_from_text();
    void validate_data();
    void validate();
    void typing_digits_one_by_one();
    void hex_value_round_trip();
};

void tst_hex_spin_box::ranges()
{
    const HexSpinBox narrow(true, nullptr);
    QCOMPARE(narrow.minimum(), 0);
    QCOMPARE(narrow.maximum(), 0xFFFF);
    QCOMPARE(narrow.prefix(), QStringLiteral("0x"));
    QCOMPARE(narrow.displayIntegerBase(), 16);
    const HexSpinBox wide(false, nullptr);
    QCOMPARE(wide.minimum(), std::numeric_limits<int>::min());
    QCOMPARE(wide.maximum(), std::numeric_limits<int>::max());
}

void tst_hex_spin_box::text_from_value_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0 << "0";
    QTest::newRow("address") << 0x22 << "22";
    QTest::newRow("upper case") << 0xBEEF << "BEEF";
    QTest::newRow("negative as unsigned") << -1 << "FFFFFFFF";
    QTest::newRow("top bit") << std::numeric_limits<int>::min() << "80000000";
}

void tst_hex_spin_box::text_from_value()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    const probe_t box(false, nullptr);
    QCOMPARE(box.textFromValue(value), text);
}

void tst_hex_spin_box::value_from_text_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value");
    QTest::newRow("with prefix") << "0x22" << 0x22;
    QTest::newRow("without prefix") << "ff" << 0xFF;
    QTest::newRow("full word") << "0xFFFFFFFF" << -1;
    QTest::newRow("garbage") << "0xZZ" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("sign") << "+5" << 0;
}

void tst_hex_spin_box::value_from_text()
{
    QFETCH(QString, text);
    QFETCH(int, value);
    const probe_t box(false, nullptr);
    QCOMPARE(box.valueFromText(text), value);
}

void tst_hex_spin_box::validate_data()
{
    QTest::addColumn<bool>("limit16");
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("pos");
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("output");
    QTest::addColumn<int>("out_pos");

    const int ok = QValidator::Acceptable;
    const int mid = QValidator::Intermediate;
    const int bad = QValidator::Invalid;
    QTest::newRow("16: above 16 bits") << true << "0x1ffff" << 7 << bad << "0x1FFFF" << 7;
    QTest::newRow("16: top value") << true << "0xffff" << 6 << ok << "0xFFFF" << 6;
    QTest::newRow("16: empty") << true << "" << 0 << mid << "" << 0;
    QTest::newRow("16: prefix alone") << true << "0x" << 2 << mid << "0x" << 2;
    QTest::newRow("16: prefix and blanks") << true << "0x  " << 4 << mid << "0x  " << 4;
    QTest::newRow("no prefix") << true << "a" << 1 << ok << "0xA" << 3;
    QTest::newRow("blanks trimmed") << true << "0x 1f " << 5 << ok << "0x1F" << 4;
    QTest::newRow("cursor in the middle") << true << "0x1f2" << 3 << ok << "0x1F2" << 3;
    QTest::newRow("not hex") << true << "0xG" << 3 << bad << "0xG" << 3;
    QTest::newRow("sign") << false << "0x-1" << 4 << bad << "0x-1" << 4;
    QTest::newRow("second prefix") << false << "0x0x1" << 5 << bad << "0x0X1" << 5;
    QTest::newRow("upper-case prefix not stripped") << false << "0XFF" << 4 << bad << "0x0XFF" << 6;
    QTest::newRow("32: full word") << false << "0xffffffff" << 10 << ok << "0xFFFFFFFF" << 10;
    QTest::newRow("32: beyond a word")
        << false << "0x100000000" << 11 << bad << "0x100000000" << 11;
    QTest::newRow("32: above 16 bits") << false << "0x1ffff" << 7 << ok << "0x1FFFF" << 7;
}

void tst_hex_spin_box::validate()
{
    QFETCH(bool, limit16);
    QFETCH(QString, input);
    QFETCH(int, pos);
    QFETCH(int, state);
    QFETCH(QString, output);
    QFETCH(int, out_pos);
    const probe_t box(limit16, nullptr);
    QCOMPARE(int(box.validate(input, pos)), state);
    QCOMPARE(input, output);
    QCOMPARE(pos, out_pos);
}

// A user selects the field and types an address digit by digit: every digit
// must land behind the one before.
void tst_hex_spin_box::typing_digits_one_by_one()
{
    probe_t box(true, nullptr);
    box.lineEdit()->selectAll();
    QTest::keyClicks(&box, QStringLiteral("1a2f"));
    QCOMPARE(box.lineEdit()->text(), QStringLiteral("0x1A2F"));
    box.interpretText();
    QCOMPARE(box.value(), 0x1A2F);
    QCOMPARE(box.lineEdit()->cursorPosition(), 6);
}

void tst_hex_spin_box::hex_value_round_trip()
{
    HexSpinBox wide(false, nullptr);
    wide.setHexValue(0xDEADBEEF);
    QCOMPARE(wide.hexValue(), 0xDEADBEEFu);
    QCOMPARE(wide.text(), QStringLiteral("0xDEADBEEF"));
    HexSpinBox narrow(true, nullptr);
    narrow.setHexValue(0x12345);
    QCOMPARE(narrow.hexValue(), 0xFFFFu); // clamped into 16 bits
}

KQ_GUI_TEST_MAIN(tst_hex_spin_box)
#include "tst_hex_spin_box.moc"
