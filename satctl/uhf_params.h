#pragma once

#include <QJsonValue>
#include <QString>
#include <QVariant>
#include <QVector>

#include <functional>
#include <optional>

namespace kq::api::proto {
class uhf_module;
class scw_properties;
} // namespace kq::api::proto

namespace kq::ctl {

// The transceiver's parameters as the UHF panel shows them, under short
// names: how each is read, and for the writable ones how a value is checked
// (before anything is sent) and written. Fields of the status word are
// written together, onto the word read from the device.
struct uhf_param_t
{
    using module_t = api::proto::uhf_module;
    using scw_t = api::proto::scw_properties;

    QString name;
    QString caption; // the panel's parameter name, for messages
    QString help;    // the values accepted, for --help
    std::function<QJsonValue(module_t&, const std::function<scw_t()>&)> read;
    std::function<QVariant(const QString&)> parse;          // null: read-only; throws ctl_error
    std::function<void(module_t&, const QVariant&)> write;  // a command of its own
    std::function<void(scw_t&, const QVariant&)> write_scw; // a field of the status word
};

const QVector<uhf_param_t>& uhf_params();
const uhf_param_t* find_uhf_param(const QString& name);

// A value as text for the readable output.
QString value_text(const QJsonValue& v);

} // namespace kq::ctl
