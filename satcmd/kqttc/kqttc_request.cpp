#include "satcmd/kqttc/kqttc_request.h"

#include "satcmd/kqttc/hex.h"
#include "satcmd/proto_exception.h"

#include <algorithm>

namespace kq::api::proto::kqttc {

kqttc_request::kqttc_request(const QString& exec_context, unsigned int device_address,
                             kqttc_command_e command)
    : _command(command)
    , _exec_context(exec_context)
    , _device_address(device_address)
{
    if (device_address > 0xFF)
        _reject("INVALID_DEVICE_ADDRESS");
}

kqttc_request::~kqttc_request() = default;

QString kqttc_request::create_string_request()
{
    return {};
}

QByteArray kqttc_request::create_binary_request()
{
    return {};
}

QString kqttc_request::read_prefix() const
{
    return QLatin1String("KQ+R") + hex::field(_device_address, 2) + hex::field(_command, 2);
}

QString kqttc_request::write_prefix() const
{
    return QLatin1String("KQ+W") + hex::field(_device_address, 2) + hex::field(_command, 2);
}

void kqttc_request::_reject(const char* error_name) const
{
    throw proto_exception(proto_exception::parameter_error, static_cast<unsigned short>(_command),
                          _exec_context, QLatin1String(error_name), proto_exception::retry);
}

bool kqttc_request::is_plain_text(const QString& text)
{
    return std::all_of(text.begin(), text.end(),
                       [](const QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

void kqttc_request::_require_plain_text(const QString& text, const char* error_name) const
{
    if (!is_plain_text(text))
        _reject(error_name);
}

obc_kqttc_request::obc_kqttc_request(const QString& exec_context, unsigned int device_address,
                                     kqttc_command_e command)
    : kqttc_request(exec_context, device_address, command)
{
    _format |= cr_before_crc;
}

} // namespace kq::api::proto::kqttc
