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
    // An answer sent as raw bytes (a data block) rather than as a text line:
    // on the wire it is the bytes, a blank, their CRC field and CR.
    static QString binary_answer(const QByteArray& bytes)
    {
        return QLatin1Char('\x02') + QString::fromLatin1(bytes.constData(), bytes.size());
    }
    static bool is_binary_answer(const QString& answer)
    {
        return answer.startsWith(QLatin1Char('\x02'));
    }

    virtual ~sim_node() = default;
    virtual QStringList handle(const QString& payload) = 0;
    // Bytes the module sends on its own (beacons it heard, received text),
    // ready for the wire; polled by the link between commands.
    virtual QByteArray unsolicited() { return {}; }
    // Whether the module sends this command line back as it came (its echo).
    virtual bool echoes(const QString& line)
    {
        Q_UNUSED(line);
        return false;
    }
    // Free text arriving over the air.
    virtual void hear_text(uint32_t sequence, const QString& text)
    {
        Q_UNUSED(sequence);
        Q_UNUSED(text);
    }
};

} // namespace kq::satsim
