#include "serline/serial_port_settings.h"

namespace kq::api::proto {

serial_port_settings_t::serial_port_settings_t() = default;

} // namespace kq::api::proto
