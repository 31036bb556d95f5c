#pragma once

#include "panelkit/panelkit_global.h"
#include "panelkit/param_file.h"

namespace kq::api::proto {
class xband_module;
}

namespace kq::gui {

// The X-band transmitter's configuration as code: read it all in one
// request, compare it, write back only what differs and read it back.
class PANELKIT_EXPORT xband_config
{
public:
    static const char* const module_name; // "xband"

    static QString check(const QString& name, const QJsonValue& value);
    static param_snapshot load(const QString& path);
    static param_snapshot backup(api::proto::xband_module& x, uint32_t address);
    static QVector<param_difference> diff(const QJsonObject& here, const QJsonObject& there);
    static param_restore_result restore(api::proto::xband_module& x, const QJsonObject& wanted,
                                        bool dry_run, param_restore_progress* progress = nullptr);
    // The values written (name to value) that the transmitter, read once
    // afterwards, holds otherwise: one line each, "NAME: wrote A, the
    // device holds B".
    static QStringList read_back(api::proto::xband_module& x, const QJsonObject& written);
};

} // namespace kq::gui
