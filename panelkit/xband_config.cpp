#include "panelkit/xband_config.h"

#include "panelkit/uhf_params.h"
#include "panelkit/xband_params.h"
#include "satcmd/xband_module.h"

namespace kq::gui {

using namespace api::proto;

const char* const xband_config::module_name = "xband";

namespace {

QJsonValue canonical(const QString& name, const QJsonValue& v)
{
    const xband_param_t* p = find_xband_param(name);
    try {
        return p ? p->stored(p->from_json(v)) : QJsonValue(QJsonValue::Undefined);
    } catch (const param_value_error&) {
        return QJsonValue(QJsonValue::Undefined);
    }
}

QJsonObject writable_values(const xband_all_parameters_t& all)
{
    QJsonObject out;
    for (const xband_param_t& p : xband_params()) {
        if (p.writable())
            out.insert(p.name, p.read(all));
    }
    return out;
}

} // namespace

QString xband_config::check(const QString& name, const QJsonValue& value)
{
    const xband_param_t* p = find_xband_param(name);
    if (!p)
        return QStringLiteral("no such parameter of the X-band transmitter");
    try {
        p->from_json(value);
    } catch (const param_value_error& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

param_snapshot xband_config::load(const QString& path)
{
    return param_file::load(path, QLatin1String(module_name), check);
}

param_snapshot xband_config::backup(xband_module& x, uint32_t address)
{
    const xband_all_parameters_t all = x.get_all_parameters();
    param_snapshot s;
    s.module = QLatin1String(module_name);
    s.address =
        QStringLiteral("0x") +
        QStringLiteral("%1").arg(address, address > 0xFF ? 4 : 2, 16, QLatin1Char('0')).toUpper();
    s.route << s.address;
    s.time = QDateTime::currentDateTimeUtc();
    s.tool = param_file::tool_name();
    s.parameters = writable_values(all);
    for (const xband_param_t& p : xband_params()) {
        if (!p.writable())
            s.status.insert(p.name, p.read(all));
    }
    return s;
}

QVector<param_difference> xband_config::diff(const QJsonObject& here, const QJsonObject& there)
{
    QStringList writable;
    for (const xband_param_t& p : xband_params()) {
        if (p.writable())
            writable << p.name;
    }
    return diff_params(writable, here, there, canonical);
}

param_restore_result xband_config::restore(xband_module& x, const QJsonObject& wanted, bool dry_run,
                                           param_restore_progress* progress)
{
    param_restore_result r;
    r.plan = diff(writable_values(x.get_all_parameters()), wanted);
    if (dry_run || r.plan.isEmpty())
        return r;
    if (progress)
        progress->planned = r.plan.size();
    QJsonObject written;
    for (const param_difference& d : qAsConst(r.plan)) {
        const xband_param_t* p = find_xband_param(d.name);
        p->write(x, p->from_json(d.there));
        written.insert(d.name, d.there);
        if (progress)
            progress->written << d.name;
    }
    r.mismatches = read_back(x, written);
    return r;
}

QStringList xband_config::read_back(xband_module& x, const QJsonObject& written)
{
    const QJsonObject held = writable_values(x.get_all_parameters());
    QStringList mismatches;
    for (auto it = written.constBegin(); it != written.constEnd(); ++it) {
        const QJsonValue wrote = canonical(it.key(), it.value());
        const QJsonValue now = canonical(it.key(), held.value(it.key()));
        if (now != wrote)
            mismatches << QStringLiteral("%1: wrote %2, the device holds %3")
                              .arg(it.key(), value_text(wrote), value_text(now));
    }
    return mismatches;
}

} // namespace kq::gui
