#pragma once

#include <QObject>

namespace kq::testing {

// A named child widget of a form, as the form's object names give it.
template<typename W>
W* child(const QObject& parent, const char* name)
{
    return parent.findChild<W*>(QLatin1String(name));
}

} // namespace kq::testing
