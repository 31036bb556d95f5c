#pragma once

#include "satcmd/connect_props.h"
#include "satcmd/module_types.h"
#include "satcmd/satcmd_global.h"

namespace kq::api::proto {

class kq_module;
class media;

// Creates the modules of one protocol. The module is owned by the caller.
class SATCMD_EXPORT module_factory
{
public:
    virtual ~module_factory();
    virtual kq_module* create_module(module_type_e type, media* m, const connect_props_t& props);
};

} // namespace kq::api::proto
