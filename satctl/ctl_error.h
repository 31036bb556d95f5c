#pragma once

#include <QString>

#include <exception>
#include <stdexcept>

namespace kq::ctl {

// Exit codes, one per class of failure, so that scripts can tell them apart.
enum exit_code_e : int {
    exit_ok = 0,
    exit_failed = 1,     // the operation failed on the way (protocol, busy module, ...)
    exit_usage = 2,      // bad command line or a value refused before anything was sent
    exit_port = 3,       // the serial port could not be opened, or broke
    exit_no_answer = 4,  // the device stayed silent
    exit_refused = 5,    // the device answered with an error
    exit_local_file = 6, // a local file could not be read or written, or was refused
    exit_mismatch = 7,   // a verification found different contents
    exit_interrupted = 130,
};

// A failure found by the driver itself, with its exit code.
class ctl_error : public std::runtime_error
{
public:
    ctl_error(exit_code_e code, const QString& message)
        : std::runtime_error(message.toStdString())
        , _code(code)
    {
    }
    exit_code_e code() const { return _code; }

private:
    exit_code_e _code;
};

struct failure_t
{
    exit_code_e code = exit_failed;
    QString line; // for standard error, without the program name
};

// Condenses the exception in flight into its exit code and one line in the
// configurator's own words; `port` adds the OS reason when a port failed.
failure_t describe_current_exception(const QString& port);

} // namespace kq::ctl
