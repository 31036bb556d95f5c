#pragma once

#include "satcmd/proto_exception.h"
#include "serline/media_exception.h"
#include "serline/serial_port_atomic.h"

#include <QByteArray>
#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// Helpers shared by the fuzz targets. A target feeds the bytes to one parser
// the way the program does; a parser may refuse the input with the protocol's
// own errors, anything else (a crash, a sanitizer report, another exception,
// a broken invariant) is a finding.
namespace kq::fuzz {

// The parsers trace what they see to Qt's message log, and the AX.25
// decoder reports every spoilt frame on standard output; both cost more than
// the parsing itself, so a fuzzer's time goes to inputs instead. Categories
// off are not even formatted; anything left goes nowhere. libFuzzer writes
// its own report to standard error.
inline const bool quiet_output = [] {
    QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return std::freopen("/dev/null", "w", stdout) != nullptr;
}();

inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(size));
}

// Stops the run with a message libFuzzer keeps beside the crashing input.
[[noreturn]] inline void broken(const char* what)
{
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::abort();
}

// Runs body; a refusal of the input is an expected outcome.
template<typename Body>
bool refused(Body&& body)
{
    try {
        body();
        return false;
    } catch (const api::proto::proto_exception&) {
        return true;
    } catch (const api::proto::media_exception&) {
        return true;
    }
}

// The lines the transport would hand over for this input and terminators.
inline QStringList lines(QByteArray buffer, const char* term = "\r\n")
{
    QStringList out;
    QString line;
    while (api::proto::serial_port_atomic::extract_line_from_byte_array(buffer, line, term))
        out.append(line);
    return out;
}

} // namespace kq::fuzz
