#pragma once

#include "panelkit/panelkit_global.h"

#include <QString>

#include <stdexcept>

namespace kq::gui {

// A file on the workstation could not be read, written or replaced; the
// message names the file and the reason.
class PANELKIT_EXPORT local_file_error : public std::runtime_error
{
public:
    explicit local_file_error(const QString& message);
};

} // namespace kq::gui
