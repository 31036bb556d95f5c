#include "sim_session.h"

#include "satcmd/factory.h"
#include "satcmd/kq_module.h"
#include "serline/media.h"

#include <QTest>

namespace kq::testing {

using namespace api::proto;

sim_session::sim_session(module_type_e type, const route_t& route, bool fsps_port,
                         uint8_t local_address)
    : _sat(std::make_unique<satsim::satellite>(local_address))
{
    factory f;
    media::settings_t s;
    s.port_name = fsps_port ? _sat->fsps_port_name() : _sat->port_name();
    _port.reset(f.create_media(factory::media_serial_port, s));
    connect_props_t props;
    props.route = route;
    _module.reset(f.create_module(type, factory::proto_kqttc, _port.get(), props));
    configure(quick_config());
}

sim_session::~sim_session()
{
    _port->stop_request();
    _module.reset();
    _port.reset();
    _sat.reset();
}

void sim_session::configure(const module_config_t& config)
{
    _module->set_module_config(config);
}

int sim_session::lines_before_marker()
{
    const QString marker = QLatin1Char(satsim::sim_link::note_prefix) + QStringLiteral(" marker");
    _port->write_line(marker + QLatin1Char('\r'));
    int before = -1;
    (void)QTest::qWaitFor(
        [&] {
            const QStringList received = _sat->link().received();
            if (received.isEmpty() || received.last() != marker)
                return false;
            before = received.size() - 1;
            return true;
        },
        int(_port->get_timeout()));
    return before;
}

module_config_t sim_session::quick_config()
{
    module_config_t c;
    c.timeout_s = 300;
    c.timeout_m = 300;
    c.timeout_l = 300;
    c.timeout_xl = 600;
    c.persistent_time = 150;
    c.link_factor = 0; // the simulator answers at once unless paced
    return c;
}

module_connect_props_t sim_session::hop(unsigned addr, int role, module_type_e type)
{
    module_connect_props_t h;
    h.dev_addr = addr;
    h.role = role;
    h.module_type = type;
    h.frequency = 437050000;
    h.rf_mode = rf_mode_9600_2400;
    return h;
}

route_t sim_session::uhf_direct()
{
    return {hop(0x22, role_target)};
}

route_t sim_session::uhf_relayed()
{
    return {hop(0x22, role_local_relay), hop(0x23, role_target)};
}

route_t sim_session::obc_two_relays()
{
    return {hop(0x22, role_local_relay), hop(0x23, role_remote_relay),
            hop(0x11, role_target, module_type_obc)};
}

} // namespace kq::testing
