#include "xband_session.h"

#include "sim_session.h"

#include "satcmd/factory.h"
#include "satcmd/xband_module.h"

namespace kq::testing {

using namespace api::proto;

xband_session::xband_session(int timeout_ms)
    : _tx(std::make_unique<satsim::xband_transmitter>(_pair))
{
    _tx->start();
    factory f;
    media::settings_t s;
    s.port_name = _pair.port_name();
    s.timeout = timeout_ms;
    _port.reset(f.create_media(factory::media_serial_port, s));
    connect_props_t props;
    props.route = {sim_session::hop(0x40, role_target, module_type_xband)};
    _module.reset(f.create_module(module_type_xband, factory::proto_kqup, _port.get(), props));
    _module->connect();
}

// The module and its port go before the transmitter they talk to.
xband_session::~xband_session()
{
    _module.reset();
    _port.reset();
    _tx.reset();
}

xband_module& xband_session::module()
{
    return dynamic_cast<xband_module&>(*_module);
}

} // namespace kq::testing
