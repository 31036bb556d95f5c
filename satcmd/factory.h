#pragma once

#include "satcmd/connect_props.h"
#include "satcmd/module_types.h"
#include "satcmd/satcmd_global.h"
#include "serline/media.h"

#include <QMap>

#include <memory>

namespace kq::api::proto {

class kq_module;
class module_factory;

// Creates a transport and a module by kind. Meant to live for one connection;
// what it created belongs to the caller and outlives it.
class SATCMD_EXPORT factory
{
public:
    enum proto_e : int { proto_kqttc = 0, proto_kqup = 1 };
    enum media_e : int { media_serial_port = 0 };

    factory();
    virtual ~factory();
    factory(const factory&) = delete;
    factory& operator=(const factory&) = delete;

    // Takes ownership; a factory registered before under p is deleted.
    void register_module_factory(proto_e p, module_factory* f);
    media* create_media(media_e type, media::settings_t& settings);
    kq_module* create_module(module_type_e type, proto_e p, media* m, const connect_props_t& props);

private:
    QMap<proto_e, std::shared_ptr<module_factory>> _factories;
};

} // namespace kq::api::proto
