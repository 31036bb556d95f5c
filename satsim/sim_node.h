#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace kq::satsim {

// A simulated module: takes one command payload (frame checked and removed)
// and gives the payloads of its answer lines; none means silence.
class sim_node
{
public:
    virtual ~sim_node() = default;
    virtual QStringList handle(const QString& payload) = 0;
    // Bytes the module sends on its own (beacons it heard, received text),
    // ready for the wire; polled by the link between commands.
    virtual QByteArray unsolicited() { return {}; }
    // Free text arriving over the air.
    virtual void hear_text(uint32_t sequence, const QString& text)
    {
        Q_UNUSED(sequence);
        Q_UNUSED(text);
    }
};

} // namespace kq::satsim
