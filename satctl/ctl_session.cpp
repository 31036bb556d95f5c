#include "ctl_session.h"

#include "ctl_error.h"
#include "interrupt_watcher.h"

#include "panelkit/module_settings.h"
#include "satcmd/factory.h"
#include "satcmd/kq_module.h"
#include "serline/media.h"

#include <QElapsedTimer>
#include <QSettings>

#include <cstdio>

// The route is a QLinkedList.
QT_WARNING_DISABLE_DEPRECATED

namespace kq::ctl {

using namespace api::proto;

namespace {

// After Ctrl+C: how long the line must stay quiet, and the most to wait.
constexpr int64_t quiet_ms = 500;
constexpr int64_t drain_limit_ms = 3000;

// Answers to a command broken off may still be on their way over the radio.
// Read them away until the line is quiet, so that the next program does not
// take one of them for the answer to its own first command.
void drain(media& m)
{
    try {
        m.close();
        m.open(); // clears the stop request and what is buffered
        QElapsedTimer clock;
        clock.start();
        QByteArray late;
        while (clock.elapsed() < drain_limit_ms)
            m.read_all(late, quiet_ms); // ends with a timeout once quiet
    } catch (...) {
        // quiet, or the port is gone: either way nothing more will come
    }
}

gui::connection_type_e connection_type(const ctl_options& o, target_e target)
{
    const auto allowed = [&](std::initializer_list<gui::connection_type_e> types) {
        const gui::connection_type_e chosen = o.type.value_or(*types.begin());
        if (std::find(types.begin(), types.end(), chosen) == types.end())
            throw ctl_error(
                exit_usage,
                QStringLiteral("command '%1' does not work over this --type").arg(o.command));
        return chosen;
    };
    switch (target) {
    case target_e::uhf:
        return allowed({gui::connection_xhf, gui::connection_xhf_xhf});
    case target_e::obc:
        return allowed({gui::connection_xhf_xhf_obc, gui::connection_obc});
    case target_e::beacon:
        return allowed({gui::connection_beacon});
    case target_e::fsps:
        return gui::connection_fsps; // alone on its port, whatever --type says
    case target_e::xband:
        return gui::connection_xband;
    }
    return gui::connection_none;
}

connect_props_t props_for(const ctl_options& o, target_e target)
{
    connect_props_t props;
    props.persistent = o.persistent;
    props.route = gui::build_route(connection_type(o, target), o.route);
    // A module behind a relay with the relay's own address would never be
    // asked: the relay would take its commands as its own.
    const uint32_t address = props.route.last().dev_addr;
    const auto same = std::count_if(props.route.begin(), props.route.end(),
                                    [address](const auto& hop) { return hop.dev_addr == address; });
    if (same > 1)
        throw ctl_error(exit_usage,
                        QStringLiteral("the module at the end of the route has the address 0x%1 "
                                       "of a transceiver before it; name its own address "
                                       "(--obc-addr, --remote-addr)")
                            .arg(QString::number(address, 16).rightJustified(2, '0').toUpper()));
    return props;
}

} // namespace

route_t ctl_session::route_for(const ctl_options& o, target_e target)
{
    return props_for(o, target).route;
}

ctl_session::ctl_session(const ctl_options& o, target_e target)
{
    if (o.port.isEmpty())
        throw ctl_error(exit_usage, QStringLiteral("no serial port: name one with --port"));
    const connect_props_t props = props_for(o, target);
    factory f;
    media::settings_t settings;
    settings.port_name = o.port;
    settings.baud_rate = o.baud;
    _media.reset(f.create_media(factory::media_serial_port, settings));
    const module_type_e type = props.route.last().module_type;
    const auto proto = target == target_e::xband ? factory::proto_kqup : factory::proto_kqttc;
    _module.reset(f.create_module(type, proto, _media.get(), props));
    if (!_module)
        throw ctl_error(exit_failed, QStringLiteral("no module of this kind"));
    _module->set_module_config(o.module_config(gui::module_config_from_settings(QSettings())));
    _module->set_persistent(o.persistent);
    if (o.verbose) {
        QObject::connect(_module.get(), &kq_module::on_media_debug,
                         [](flow_direction_e direction, const QString& line) {
                             QString text = line;
                             text.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
                             std::fprintf(stderr, "%s %s\n", direction == flow_sent ? ">>>" : "<<<",
                                          text.toLocal8Bit().constData());
                         });
    }
    _watcher = std::make_unique<interrupt_watcher>(*_module);
    _module->connect();
}

ctl_session::~ctl_session()
{
    _watcher.reset();
    if (interrupt_watcher::interrupted() && _media)
        drain(*_media);
    try {
        // Also after a failed connect: its unanswered commands are settled
        // before the port closes, not left for the next run.
        if (_module)
            _module->disconnect();
    } catch (...) {
        // the outcome is already decided; a failing disconnect does not change it
    }
    _module.reset();
    _media.reset();
}

} // namespace kq::ctl
