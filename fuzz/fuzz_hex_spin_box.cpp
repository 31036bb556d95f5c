// What a user may type or paste into a hexadecimal field, with any cursor.
#include "fuzz_support.h"

#include "panelkit/hex_spin_box.h"

#include <QApplication>

namespace {

class probe : public kq::gui::HexSpinBox
{
public:
    explicit probe(bool limit_16bit)
        : HexSpinBox(limit_16bit, nullptr)
    {
    }
    using HexSpinBox::validate;
    using HexSpinBox::valueFromText;
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static probe wide(false);
    static probe narrow(true);
    if (size == 0)
        return 0;
    const QString typed = QString::fromUtf8(kq::fuzz::bytes(data + 1, size - 1));
    for (probe* box : {&wide, &narrow}) {
        QString input = typed;
        int pos = data[0] % (typed.size() + 1);
        if (box->validate(input, pos) == QValidator::Acceptable) {
            const uint32_t value = static_cast<uint32_t>(box->valueFromText(input));
            if (box->is_16bit() && value > 0xFFFF)
                kq::fuzz::broken("a 16-bit field accepted a larger value");
        }
        if (pos < 0 || pos > input.size())
            kq::fuzz::broken("the cursor left the text");
    }
    return 0;
}
