#pragma once

#include <QJsonValue>
#include <QStringList>

namespace kq::ctl {

// Prints a command's result: its JSON when --json was given (texts exact,
// as JSON escapes), else its readable lines, where control characters are
// shown as \xNN so that nothing a device sends can steer the terminal.
class ctl_output
{
public:
    explicit ctl_output(bool json)
        : _json(json)
    {
    }

    bool json() const { return _json; }
    void result(const QJsonValue& json, const QStringList& text) const;
    // One event of a running command (a beacon): a JSON line or a text line.
    void event(const QJsonValue& json, const QString& text) const;
    static void error(const QString& line);
    // Something the user should know that does not end the command.
    static void notice(const QString& line);

private:
    bool _json;
};

} // namespace kq::ctl
