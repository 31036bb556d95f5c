#pragma once

#include "panelkit/panelkit_global.h"

#include <QSpinBox>

#include <cstdint>

namespace kq::gui {

// A spin box for addresses and words: shows and accepts hexadecimal numbers
// with the prefix "0x", either 16 bits wide or a full 32-bit word.
class PANELKIT_EXPORT HexSpinBox : public QSpinBox
{
    Q_OBJECT

public:
    // The 16-bit variant, as forms create it.
    explicit HexSpinBox(QWidget* parent = nullptr);
    HexSpinBox(bool limit_16bit, QWidget* parent);

    uint32_t hexValue() const { return static_cast<uint32_t>(value()); }
    void setHexValue(uint32_t value) { setValue(static_cast<int>(value)); }

    bool is_16bit() const { return limit_16bit; }

protected:
    QString textFromValue(int value) const override;
    int valueFromText(const QString& text) const override;
    QValidator::State validate(QString& input, int& pos) const override;

private:
    bool limit_16bit;
};

} // namespace kq::gui
