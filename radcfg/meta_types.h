#pragma once

namespace radcfg {

// Registers, under the names queued signals use, every type that crosses
// from a worker thread to the window.
void register_meta_types();

} // namespace radcfg
