#include "panelkit/error_advice.h"

#include "satcmd/error_descriptor.h"

#include <QCoreApplication>
#include <QMap>

namespace kq::gui {

using namespace api::proto;

namespace {

const char* const context = "error_advice";
const char* const call_sign =
    QT_TRANSLATE_NOOP("error_advice", "a call sign is up to 6 printable ASCII characters");

// By the code in the error's message: a device's refusal ("ERR+…") or a
// value the library would not send ("INVALID_…").
const QMap<QString, const char*>& by_code()
{
    static const QMap<QString, const char*> table{
        {QStringLiteral("ERR+KQTTC"),
         QT_TRANSLATE_NOOP("error_advice",
                           "the transceiver on the wire answered a command meant for the "
                           "module behind it: its pipe had closed (a pipe timeout too short?) "
                           "or the route's addresses do not match the modules")},
        {QStringLiteral("ERR+REMOTE"),
         QT_TRANSLATE_NOOP("error_advice", "the transceiver gives this value only over its wire")},
        {QStringLiteral("ERR+LOCKED"),
         QT_TRANSLATE_NOOP("error_advice", "the transceiver did not unlock for flashing")},
        {QStringLiteral("ERR+ACCESS"),
         QT_TRANSLATE_NOOP("error_advice",
                           "the transceiver refused the unlock code: its secure key may differ")},
        {QStringLiteral("ERR+CHKSUM"),
         QT_TRANSLATE_NOOP("error_advice",
                           "a firmware record arrived spoilt or the file is damaged: try again "
                           "or check the file")},
        {QStringLiteral("ERR+TYPE"),
         QT_TRANSLATE_NOOP("error_advice",
                           "the transceiver does not take this record type: flash with "
                           "conversion")},
        {QStringLiteral("ERR+NOFILE"),
         QT_TRANSLATE_NOOP("error_advice",
                           "no such file on the on-board computer: list its files again")},
        {QStringLiteral("ERR+NAME"),
         QT_TRANSLATE_NOOP("error_advice",
                           "the on-board computer cannot take this file name: use an 8.3 name")},
        {QStringLiteral("ERR+RANGE"),
         QT_TRANSLATE_NOOP("error_advice",
                           "the position or size is beyond what the on-board computer holds")},
        {QStringLiteral("ERR+SUM"),
         QT_TRANSLATE_NOOP("error_advice",
                           "a block arrived spoilt on the radio link; it is sent again")},
        {QStringLiteral("ERR+MODE"),
         QT_TRANSLATE_NOOP("error_advice", "the on-board computer does not know this mode")},
        {QStringLiteral("INVALID_TEXT_BEACON_MESSAGE"),
         QT_TRANSLATE_NOOP("error_advice",
                           "the beacon text takes printable ASCII characters only (no accents, "
                           "no line breaks)")},
        {QStringLiteral("INVALID_TEXT_BEACON_MESSAGE_LENGTH"),
         QT_TRANSLATE_NOOP("error_advice", "the beacon text is at most 128 characters")},
        {QStringLiteral("INVALID_MORSE_CODE"),
         QT_TRANSLATE_NOOP("error_advice", "the Morse text takes printable ASCII characters only")},
        {QStringLiteral("INVALID_MORSE_CODE_LENGTH"),
         QT_TRANSLATE_NOOP("error_advice", "the Morse text is at most 40 characters")},
        {QStringLiteral("INVALID_SRC_CALL_SIGN"), call_sign},
        {QStringLiteral("INVALID_SRC_CALL_SIGN_LENGTH"), call_sign},
        {QStringLiteral("INVALID_DST_CALL_SIGN"), call_sign},
        {QStringLiteral("INVALID_DST_CALL_SIGN_LENGTH"), call_sign},
        {QStringLiteral("INVALID_FREQUENCY"),
         QT_TRANSLATE_NOOP("error_advice",
                           "the frequency is outside the bands the transceiver tunes to")},
        {QStringLiteral("INVALID_AUDIO_BEACON_PERIOD"),
         QT_TRANSLATE_NOOP("error_advice",
                           "the audio beacon period is 0 (off) or at least 30 seconds")},
    };
    return table;
}

bool has_code(const QString& message, const QString& code)
{
    if (!message.startsWith(code))
        return false;
    if (message.size() == code.size())
        return true;
    const QChar next = message.at(code.size());
    return !next.isLetterOrNumber() && next != QLatin1Char('_');
}

} // namespace

QString error_advice::explain(const error_descriptor& error)
{
    const QString& message = error.get_message();
    const QMap<QString, const char*>& table = by_code();
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (has_code(message, it.key()))
            return QCoreApplication::translate(context, it.value());
    }
    if (error.get_media_error() == media_exception::timeout ||
        error.get_proto_error() == proto_exception::no_answer)
        return QCoreApplication::translate(
            context, "nothing answered in time: check the cable, the port speed, the address "
                     "and that the module is powered");
    if (error.get_proto_error() == proto_exception::crc_error)
        return QCoreApplication::translate(
            context, "every answer to it arrived spoilt: the line is noisy or its speed is "
                     "wrong; try again, or with --persistent");
    return {};
}

QString error_advice::with_advice(const QString& text, const error_descriptor& error)
{
    const QString advice = explain(error);
    return advice.isEmpty() ? text : text + QStringLiteral(" (") + advice + QLatin1Char(')');
}

} // namespace kq::gui
