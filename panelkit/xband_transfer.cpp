#include "panelkit/xband_transfer.h"

#include "satcmd/proto_exception.h"
#include "satcmd/xband_module.h"
#include "serline/media_exception.h"

#include <QBitArray>

namespace kq::gui {

using namespace api::proto;

namespace {

constexpr int max_name = 31;
constexpr unsigned short read_command = 264;

[[noreturn]] void fail(const QString& name, const QString& why)
{
    throw proto_exception(proto_exception::invalid_result, read_command,
                          QStringLiteral("verify_file"), name + QStringLiteral(": ") + why,
                          proto_exception::no_retry);
}

// Whether asking again may help: a lost or spoilt answer (a frame with a
// spoilt length or magic is the reader's general error), not a refusal, a
// stop or a broken port.
bool worth_repeating(const std::exception_ptr& e)
{
    try {
        std::rethrow_exception(e);
    } catch (const media_exception& m) {
        return m.get_type() == media_exception::timeout;
    } catch (const proto_exception& p) {
        return p.get_type() == proto_exception::invalid_result ||
               p.get_type() == proto_exception::crc_error ||
               p.get_type() == proto_exception::general_error ||
               p.get_type() == proto_exception::no_answer;
    } catch (...) {
        return false;
    }
}

// Runs an exchange that may be repeated without harm (a create starts the
// file afresh, a write puts a piece at its own offset).
template<typename F>
void repeated(F&& exchange)
{
    for (int attempt = 1;; ++attempt) {
        try {
            exchange();
            return;
        } catch (...) {
            if (attempt == xband_transfer::attempts || !worth_repeating(std::current_exception()))
                throw;
        }
    }
}

} // namespace

xband_transfer::xband_transfer(xband_module& xband, progress_fn progress)
    : _xband(xband)
    , _progress_fn(std::move(progress))
{
}

QString xband_transfer::name_problem(const QString& name)
{
    if (name.isEmpty())
        return QStringLiteral("a name is needed");
    if (name.size() > max_name)
        return QStringLiteral("%1 characters, at most %2").arg(name.size()).arg(max_name);
    for (const QChar c : name) {
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F)
            return QStringLiteral("only printable ASCII characters without blanks");
        if (c == QLatin1Char('/') || c == QLatin1Char('\\'))
            return QStringLiteral("no path, a plain name");
    }
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("not a file name");
    return {};
}

void xband_transfer::_progress(const QString& step, uint64_t done, uint64_t total) const
{
    if (_progress_fn)
        _progress_fn(step, done, total);
}

void xband_transfer::upload(const QByteArray& data, const QString& name)
{
    const QString problem = name_problem(name);
    if (!problem.isEmpty())
        throw proto_exception(proto_exception::parameter_error, 261, QStringLiteral("create_file"),
                              name + QStringLiteral(": ") + problem, proto_exception::no_retry);
    if (data.size() > max_size)
        throw proto_exception(proto_exception::parameter_error, 261, QStringLiteral("create_file"),
                              QStringLiteral("%1: %2 bytes; the transmitter takes at most %3")
                                  .arg(name)
                                  .arg(data.size())
                                  .arg(max_size),
                              proto_exception::no_retry);
    unsigned handle = 0;
    repeated([&] { _xband.create_file(name, unsigned(data.size()), handle); });
    const auto total = uint64_t(data.size());
    _progress(QStringLiteral("writing"), 0, total);
    for (int at = 0; at < data.size(); at += piece) {
        repeated([&] { _xband.write_file(handle, unsigned(at), data.mid(at, piece)); });
        _progress(QStringLiteral("writing"), uint64_t(std::min(at + piece, int(data.size()))),
                  total);
    }
    const QByteArray back = _read(name, QStringLiteral("verifying"));
    if (back.size() != data.size())
        fail(name, QStringLiteral("the transmitter holds %1 bytes, %2 were sent")
                       .arg(back.size())
                       .arg(data.size()));
    if (back != data)
        fail(name, QStringLiteral("the transmitter holds other bytes than were sent"));
}

// The transmitter offers no checksum: the file is read a second time, and
// taken only when both reads agree to the byte.
QByteArray xband_transfer::download(const QString& name)
{
    const QByteArray data = _read(name, QStringLiteral("reading"));
    if (_read(name, QStringLiteral("verifying")) != data)
        fail(name, QStringLiteral("two reads of it gave different bytes"));
    return data;
}

// Each answer says how many bytes remain after its piece, so every piece
// knows its own place. A lost answer leaves a hole; a further pass from a
// fresh open reads up to the last hole and fills what it can.
QByteArray xband_transfer::_read(const QString& name, const QString& step)
{
    QByteArray data;
    QBitArray have;
    for (int pass = 1; pass <= passes; ++pass) {
        unsigned handle = 0;
        unsigned size = 0;
        repeated([&] { _xband.open_file(name, handle, size); });
        if (size > max_download)
            fail(name, QStringLiteral("the transmitter announces %1 bytes").arg(size));
        if (pass == 1) {
            data = QByteArray(int(size), '\0');
            have.resize(int(size));
            _progress(step, 0, size);
        } else if (size != unsigned(data.size())) {
            fail(name, QStringLiteral("its size changed from %1 to %2 bytes during the transfer")
                           .arg(data.size())
                           .arg(size));
        }
        if (_read_pass(name, step, handle, data, have, pass == passes))
            return data;
    }
    fail(name, QStringLiteral("pieces still missing after %1 passes").arg(passes));
}

bool xband_transfer::_read_pass(const QString& name, const QString& step, unsigned handle,
                                QByteArray& data, QBitArray& have, bool last)
{
    const auto size = unsigned(data.size());
    int until = int(size); // one past the last hole
    while (until > 0 && have.testBit(until - 1))
        --until;
    int misses = 0;
    for (int at = 0; at < until;) {
        unsigned remaining = 0;
        QByteArray part;
        try {
            _xband.read_file(handle, remaining, part);
            misses = 0;
        } catch (...) {
            if (!worth_repeating(std::current_exception()) || (++misses == attempts && last))
                throw;
            if (misses == attempts)
                return false;
            continue;
        }
        if (remaining > size || unsigned(part.size()) > size - remaining)
            fail(name, QStringLiteral("a piece of %1 bytes with %2 remaining lies outside the "
                                      "%3 bytes announced")
                           .arg(part.size())
                           .arg(remaining)
                           .arg(size));
        if (part.isEmpty() && remaining > 0)
            fail(name, QStringLiteral("the transmitter gave nothing with %1 bytes remaining")
                           .arg(remaining));
        const int end = int(size - remaining);
        const int begin = end - part.size();
        data.replace(begin, part.size(), part);
        have.fill(true, begin, end);
        at = end;
        _progress(step, uint64_t(have.count(true)), size);
        if (remaining == 0)
            break;
    }
    return have.count(false) == 0;
}

} // namespace kq::gui
