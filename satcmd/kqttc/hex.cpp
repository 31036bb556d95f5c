#include "satcmd/kqttc/hex.h"

#include "satcmd/proto_exception.h"

namespace kq::api::proto::kqttc {

QString hex::field(uint64_t value, int width)
{
    return QString::number(qulonglong(value), 16).toUpper().rightJustified(width, QLatin1Char('0'));
}

uint64_t hex::parse(const QString& text)
{
    bool ok = false;
    const qulonglong v = text.toULongLong(&ok, 16);
    if (!ok || text.isEmpty())
        invalid();
    return v;
}

void hex::invalid()
{
    throw proto_exception(proto_exception::invalid_result, 0,
                          QStringLiteral("parse_hex_string_to_int"), QString(),
                          proto_exception::retry);
}

} // namespace kq::api::proto::kqttc
