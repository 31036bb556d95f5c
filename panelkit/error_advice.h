#pragma once

#include "panelkit/panelkit_global.h"

#include <QString>

namespace kq::api::proto {
class error_descriptor;
}

namespace kq::gui {

// What a failure means for the engineer at the bench and what to try, in
// plain words, for the device's and the library's codes that need one. The
// codes themselves stay in the messages; this is said beside them.
class PANELKIT_EXPORT error_advice
{
public:
    // Empty when there is nothing to add to the code's own text.
    static QString explain(const api::proto::error_descriptor& error);
    // The error's text with the advice after it: "TEXT (advice)".
    static QString with_advice(const QString& text, const api::proto::error_descriptor& error);
};

} // namespace kq::gui
