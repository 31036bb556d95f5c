#include "panelkit/uhf_config.h"

#include "panelkit/uhf_params.h"
#include "satcmd/proto_exception.h"
#include "satcmd/scw_properties.h"
#include "satcmd/uhf_module.h"

#include <QJsonArray>

#include <optional>

// The route is a QLinkedList.
QT_WARNING_DISABLE_DEPRECATED

namespace kq::gui {

using namespace api::proto;

const char* const uhf_config::module_name = "uhf";
const char* const uhf_config::not_readable_key = "not_readable";
const char* const uhf_config::not_read_key = "not_read";

namespace {

// A value as the device would hold it, in the driver's units; undefined
// when the table does not take it.
QJsonValue canonical(const uhf_param_t& p, const QJsonValue& v)
{
    if (v.isUndefined())
        return v;
    try {
        return p.json(p.from_json(v));
    } catch (const param_value_error&) {
        return QJsonValue(QJsonValue::Undefined);
    }
}

// The parameter's value as the device reports it, in the driver's units;
// undefined when the route cannot read it (the far transceiver answers
// "ERR+REMOTE" for its text beacon). Other failures pass on.
QJsonValue read_value(const uhf_param_t& p, uhf_module& u, const uhf_param_t::scw_source& scw)
{
    try {
        return p.json(p.read(u, scw));
    } catch (const proto_exception& e) {
        if (e.get_type() != proto_exception::command_response_error ||
            QString::fromUtf8(e.what()) != QLatin1String("ERR+REMOTE"))
            throw;
    }
    return QJsonValue(QJsonValue::Undefined);
}

// Called from within a catch: a read whose answers came but were of no use
// (spoilt, malformed, refused). Silence, a stop, a broken port or a busy
// module ends the walk: the next reads would fare no better.
bool is_read_failure()
{
    try {
        throw;
    } catch (const proto_exception& e) {
        return e.get_type() != proto_exception::busy && e.get_type() != proto_exception::no_answer;
    } catch (...) {
        return false;
    }
}

// The status word read at most once for a walk over the table.
struct scw_once
{
    uhf_module& u;
    std::optional<scw_properties> word;
    scw_properties operator()()
    {
        if (!word)
            word = u.get_scw();
        return *word;
    }
};

QString hop_text(uint32_t address)
{
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

QString uhf_config::check(const QString& name, const QJsonValue& value)
{
    const uhf_param_t* p = find_uhf_param(name);
    if (!p)
        return QStringLiteral("no such parameter of the transceiver");
    if (!p->writable())
        return QStringLiteral("read only, not a configuration value");
    try {
        p->from_json(value);
    } catch (const param_value_error& e) {
        return QString::fromStdString(e.what());
    }
    return {};
}

param_snapshot uhf_config::load(const QString& path)
{
    return param_file::load(path, QLatin1String(module_name), check);
}

param_snapshot uhf_config::backup(uhf_module& u)
{
    param_snapshot s;
    s.module = QLatin1String(module_name);
    s.time = QDateTime::currentDateTimeUtc();
    s.tool = param_file::tool_name();
    for (const module_connect_props_t& hop : u.get_connect_props().route)
        s.route << hop_text(hop.dev_addr);
    s.address = s.route.isEmpty() ? QString() : s.route.last();
    scw_once scw{u, std::nullopt};
    const auto source = [&scw] { return scw(); };
    QJsonArray not_readable;
    QJsonArray not_read;
    for (const uhf_param_t& p : uhf_params()) {
        QJsonValue v;
        try {
            v = read_value(p, u, source);
        } catch (const std::exception&) {
            // A parameter the file would lack fails the backup; a status
            // value is only told, and the file keeps what was read.
            if (p.writable() || !is_read_failure())
                throw;
            not_read.append(p.name);
            continue;
        }
        if (v.isUndefined())
            not_readable.append(p.name);
        else if (p.writable())
            s.parameters.insert(p.name, v);
        else
            s.status.insert(p.name, v);
    }
    if (!not_readable.isEmpty())
        s.status.insert(QLatin1String(not_readable_key), not_readable);
    if (!not_read.isEmpty())
        s.status.insert(QLatin1String(not_read_key), not_read);
    s.firmware = s.status.value(QStringLiteral("version")).toString();
    return s;
}

QVector<param_difference> uhf_config::diff(const QJsonObject& here, const QJsonObject& there)
{
    QStringList writable;
    for (const uhf_param_t& p : uhf_params()) {
        if (p.writable())
            writable << p.name;
    }
    return diff_params(writable, here, there, [](const QString& name, const QJsonValue& v) {
        return canonical(*find_uhf_param(name), v);
    });
}

uhf_config::restore_result uhf_config::restore(uhf_module& u, const QJsonObject& wanted,
                                               bool dry_run, param_restore_progress* progress)
{
    // The device's values of the parameters the file names, then the plan.
    scw_once scw{u, std::nullopt};
    const auto source = [&scw] { return scw(); };
    QJsonObject device;
    for (auto it = wanted.begin(); it != wanted.end(); ++it) {
        const uhf_param_t* p = find_uhf_param(it.key());
        if (p && p->writable())
            device.insert(p->name, read_value(*p, u, source));
    }
    restore_result r;
    const bool direct = u.get_connect_props().route.size() <= 1;
    for (const param_difference& d : diff(device, wanted)) {
        if (d.name == QLatin1String("address")) {
            r.skipped.append(d);
            r.why_skipped << QStringLiteral("the link would lose the transceiver; set it "
                                            "with \"set address=…\" and reconnect");
        } else if (d.name == QLatin1String("uart-baud") && direct) {
            r.skipped.append(d);
            r.why_skipped << QStringLiteral("the port on this line would no longer match; set "
                                            "it with \"set uart-baud=…\" and reconnect");
        } else {
            r.plan.append(d);
        }
    }
    if (dry_run || r.plan.isEmpty())
        return r;

    param_restore_progress unused;
    param_restore_progress& done = progress ? *progress : unused;
    done.planned = r.plan.size();
    QStringList in_scw;
    scw_properties word = scw();
    for (const param_difference& d : qAsConst(r.plan)) {
        const uhf_param_t* p = find_uhf_param(d.name);
        const QVariant value = p->from_json(d.there);
        if (p->in_scw()) {
            p->write_scw(word, value);
            in_scw << d.name;
        } else {
            p->write(u, value);
            done.written << d.name;
        }
    }
    if (!in_scw.isEmpty()) {
        u.set_scw(word);
        done.written << in_scw;
    }

    QJsonObject written;
    for (const param_difference& d : qAsConst(r.plan))
        written.insert(d.name, d.there);
    r.mismatches = read_back(u, written, &r.unverified);
    return r;
}

// "Done" is what the device holds now.
QStringList uhf_config::read_back(uhf_module& u, const QJsonObject& written,
                                  QStringList* unverified)
{
    scw_once again{u, std::nullopt};
    const auto fresh = [&again] { return again(); };
    QStringList mismatches;
    for (auto it = written.begin(); it != written.end(); ++it) {
        const uhf_param_t* p = find_uhf_param(it.key());
        const QJsonValue held = read_value(*p, u, fresh);
        if (held.isUndefined())
            *unverified << p->name;
        else if (canonical(*p, held) != canonical(*p, it.value()))
            mismatches << QStringLiteral("%1: wrote %2, the device holds %3")
                              .arg(p->name, value_text(it.value()), value_text(held));
    }
    return mismatches;
}

} // namespace kq::gui
