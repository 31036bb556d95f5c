#pragma once

#include "panelkit/panelkit_global.h"

#include <QDateTime>
#include <QString>

namespace kq::api::proto {
class error_descriptor;
}

namespace kq::gui {

// What the engineer may believe of the link to the module, for the status
// bar: nothing tried yet, the port open, the module answering, or no
// answer since a given time. An answer clears a silence; the first silence
// after an answer sets its time, later ones keep it.
class PANELKIT_EXPORT link_status
{
public:
    enum state_e { unused, opening, port_failed, port_open, answering, silent };

    void opening_port();
    void port_opened();
    void answered(const QDateTime& at = QDateTime::currentDateTime());
    // A failure: the port's own, a silence, or neither (a refusal is an
    // answer too).
    void failed(const api::proto::error_descriptor& error,
                const QDateTime& at = QDateTime::currentDateTime());

    state_e state() const { return _state; }
    // "port open", "answering", "no answer since 14:02:11", ...
    QString text() const;

private:
    state_e _state = unused;
    QDateTime _silent_since;
};

} // namespace kq::gui
