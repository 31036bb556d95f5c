#pragma once

#include "panelkit/panelkit_global.h"

#include <QString>

namespace kq::gui {

// Why a serial port cannot be used, in the user's words, asked of the
// operating system after the port failed to open: "PORT: Permission denied;
// add your user to the 'dialout' group and log in again", "PORT: not a
// serial port", "PORT: busy, another program has it open". Empty for no
// port name.
class PANELKIT_EXPORT port_diagnosis
{
public:
    static QString explain(const QString& port);
};

} // namespace kq::gui
