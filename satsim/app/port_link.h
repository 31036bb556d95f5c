#pragma once

#include <QString>
#include <QStringList>

namespace kq::satsim {

// A symbolic link to one of the simulator's ports, removed again when the
// simulator ends (only if it still names that port). A link that names a
// port still open belongs to a running simulator and is never taken over;
// one left behind by a simulator that was killed is replaced, also when its
// terminal's number was given to another program since (the terminal is
// then newer than the link).
class port_link
{
public:
    port_link(const QString& path, const QString& target);
    ~port_link();
    port_link(const port_link&) = delete;
    port_link& operator=(const port_link&) = delete;

    // `own` are the terminals this simulator opened: a link naming one of
    // them was left by a killed simulator whose terminal number came back.
    bool make(const QStringList& own, QString& error);

    // The folder of a link, which is never created by the simulator, except
    // the default private one: made with mode 0700, and when it exists
    // refused unless it is a folder of this user's that nobody else may
    // write to (otherwise another user could swap the link and sit between
    // the driver and the simulator).
    static bool check_folder(const QString& link, bool private_default, QString& error);

private:
    QString _path;
    QString _target;
    bool _made = false;
};

} // namespace kq::satsim
