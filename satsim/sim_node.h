#pragma once

#include <QString>
#include <QStringList>

namespace kq::satsim {

// A simulated module: takes one command payload (frame checked and removed)
// and gives the payloads of its answer lines; none means silence.
class sim_node
{
public:
    virtual ~sim_node() = default;
    virtual QStringList handle(const QString& payload) = 0;
};

} // namespace kq::satsim
