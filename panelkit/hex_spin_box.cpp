#include "panelkit/hex_spin_box.h"

#include <limits>

namespace kq::gui {

namespace {

const QString prefix_text = QStringLiteral("0x");

// Only hex digits, at most a 32-bit word: QString::toUInt alone would also
// take a sign, inner blanks or a second "0x" and leave a text that reads back
// as another number.
bool parse_hex(const QString& digits, uint32_t& value)
{
    if (digits.isEmpty() || digits.size() > 8)
        return false;
    for (const QChar c : digits) {
        const char16_t u = c.unicode();
        const bool hex = (u >= '0' && u <= '9') || (u >= 'a' && u <= 'f') || (u >= 'A' && u <= 'F');
        if (!hex)
            return false;
    }
    bool ok = false;
    value = digits.toUInt(&ok, 16);
    return ok;
}

} // namespace

HexSpinBox::HexSpinBox(QWidget* parent)
    : HexSpinBox(true, parent)
{
}

HexSpinBox::HexSpinBox(bool limit_16bit_, QWidget* parent)
    : QSpinBox(parent)
    , limit_16bit(limit_16bit_)
{
    setPrefix(prefix_text);
    setDisplayIntegerBase(16);
    if (limit_16bit)
        setRange(0, 0xFFFF);
    else
        setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
}

QString HexSpinBox::textFromValue(int value) const
{
    return QString::number(static_cast<uint32_t>(value), 16).toUpper();
}

int HexSpinBox::valueFromText(const QString& text) const
{
    QString digits = text.trimmed();
    if (digits.startsWith(prefix_text, Qt::CaseInsensitive))
        digits.remove(0, prefix_text.size());
    uint32_t value = 0;
    if (!parse_hex(digits.trimmed(), value))
        return 0;
    return static_cast<int>(value);
}

QValidator::State HexSpinBox::validate(QString& input, int& pos) const
{
    int begin = input.startsWith(prefix_text) ? prefix_text.size() : 0;
    while (begin < input.size() && input.at(begin).isSpace())
        ++begin;
    int end = input.size();
    while (end > begin && input.at(end - 1).isSpace())
        --end;
    if (begin == end)
        return QValidator::Intermediate;

    const QString digits = input.mid(begin, end - begin).toUpper();
    // The cursor stays behind the same digit it was behind: the characters
    // dropped before it no longer count, and the prefix put back does.
    pos = prefix_text.size() + qBound(0, pos - begin, digits.size());
    input = prefix_text + digits;

    uint32_t value = 0;
    if (!parse_hex(digits, value))
        return QValidator::Invalid;
    if (limit_16bit && value >= 0x10000)
        return QValidator::Invalid;
    return QValidator::Acceptable;
}

} // namespace kq::gui
