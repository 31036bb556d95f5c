#include "panelkit/local_file_error.h"

namespace kq::gui {

local_file_error::local_file_error(const QString& message)
    : std::runtime_error(message.toStdString())
{
}

} // namespace kq::gui
