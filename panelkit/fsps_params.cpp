#include "panelkit/fsps_params.h"

#include "panelkit/uhf_params.h"
#include "satcmd/fsps_module.h"
#include "satcmd/strict_number.h"

#include <limits>

namespace kq::gui {

using namespace api::proto;

namespace {

[[noreturn]] void refuse(const QString& name, const QString& text)
{
    throw param_value_error(
        QStringLiteral("%1 '%2': a whole number").arg(name, text).toStdString());
}

} // namespace

const QVector<fsps_param_t>& fsps_params()
{
    static const QVector<fsps_param_t> table{
        {QStringLiteral("rf"), QStringLiteral("fsps-rf"), QStringLiteral("a whole number"),
         [](const QString& text) {
             qint64 v = 0;
             if (!strict_number::to_int64(text, v) || v < 0)
                 refuse(QStringLiteral("fsps-rf"), text);
             return QVariant(qulonglong(v));
         },
         [](fsps_module& f, const QVariant& v) { f.set_rf(v.toULongLong()); },
         [](fsps_module& f) { return f.get_rf(); }},
        {QStringLiteral("att"), QStringLiteral("fsps-att"), QStringLiteral("a whole number"),
         [](const QString& text) {
             qint64 v = 0;
             if (!strict_number::to_int64(text, v))
                 refuse(QStringLiteral("fsps-att"), text);
             return QVariant(v);
         },
         [](fsps_module& f, const QVariant& v) { f.set_attenuation(v.toLongLong()); },
         [](fsps_module& f) { return f.get_attenuation(); }},
    };
    return table;
}

const fsps_param_t* find_fsps_param(const QString& name)
{
    for (const fsps_param_t& p : fsps_params()) {
        if (p.name == name || p.command == name)
            return &p;
    }
    return nullptr;
}

} // namespace kq::gui
