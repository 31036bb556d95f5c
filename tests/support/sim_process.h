#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace kq::testing {

// The simulator program running as a process of its own, with its links in
// a private directory; the ports it prints are read at start.
class sim_process
{
public:
    // Starts `program` with the extra arguments; QVERIFY-style failures are
    // reported through ok() and error().
    explicit sim_process(const QString& program, const QStringList& arguments = {});
    ~sim_process();

    bool ok() const { return _ok; }
    QString error() const { return _error; }
    QString port() const { return _port; }
    QString link() const { return _link; }
    QString fsps_port() const { return _link + QStringLiteral("-fsps"); }
    QString xband_port() const { return _link + QStringLiteral("-xband"); }
    QString store() const { return _store; }
    QProcess& process() { return *_process; }

    // Ends the simulator as Ctrl+C would; true when it exited by itself.
    bool interrupt(int timeout_ms = 5000);

private:
    std::unique_ptr<QTemporaryDir> _dir;
    std::unique_ptr<QProcess> _process;
    QString _port;
    QString _link;
    QString _store;
    QString _error;
    bool _ok = false;
};

// One run of a command-line program: exit code and both outputs.
struct program_run
{
    int code = -1;
    QByteArray out;
    QByteArray err;
};

// Waits until what a running program has written to the channel since the
// call contains text; false after timeout_ms.
bool wait_for_output(QProcess& process, QProcess::ProcessChannel channel, const QByteArray& text,
                     int timeout_ms);

// With an environment, the program runs in it instead of the test's own.
program_run run_program(const QString& program, const QStringList& arguments,
                        int timeout_ms = 120000,
                        const QProcessEnvironment& environment = QProcessEnvironment());

// The run's exit code and both outputs, for a failure message.
QString describe(const program_run& run);

// The driver's command timing for the simulator's prompt answers.
const QStringList& quick_timing();

} // namespace kq::testing
