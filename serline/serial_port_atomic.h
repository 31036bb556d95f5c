#pragma once

#include "serline/media_exception.h"
#include "serline/serial_port_settings.h"
#include "serline/serline_global.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

class QSerialPort;

namespace kq::api::proto {

// Owns the QSerialPort and does all port I/O in the thread it lives in.
//
// Each public call is queued to that thread and blocks its caller until the
// matching private slot has run there, so out-arguments are written straight
// into the caller's objects. The caller first spins briefly, then sleeps: a
// sleeping caller pays a full thread wake-up for every call, which on a fast
// link (or a virtual machine) costs more than the I/O itself. Slots never
// throw: each call returns its own outcome as an error code, which the caller
// turns into an exception in its own thread; a call made meanwhile from
// another thread can neither clear nor take it. A stop request bypasses the
// queue: it drops the running flag, which every wait polls at least every
// 50 ms. Never call from the object's own thread.
class SERLINE_EXPORT serial_port_atomic : public QObject
{
    Q_OBJECT

public:
    static constexpr int poll_period_ms = 50; // how often waits look at the running flag

    serial_port_atomic();
    ~serial_port_atomic() override;

    void stop_request();
    bool is_running() const { return _running.load(); }
    // The outcome of the last call made by any thread (0 for success); each
    // call also returns its own.
    int get_error_code() const;
    const std::exception& get_error_exception() const;

    // Moves the first line out of buffer. Every character of term (a list
    // ending at a NUL or at a byte of 0x80 and above) ends a line by itself,
    // so "\r\n" yields the line and then an empty line for the line feed.
    // A NUL inside the line cuts it; its bytes up to the terminator are still
    // consumed. Returns false, leaving both untouched, if no terminator occurs.
    // The bytes are read as UTF-8 when they are valid UTF-8 and as Latin-1
    // otherwise, so the line always gives back the bytes that arrived
    // (line_bytes).
    static bool extract_line_from_byte_array(QByteArray& buffer, QString& line, const char* term);
    // The bytes a line of extract_line_from_byte_array came from.
    static QByteArray line_bytes(const QString& line);

    // Each returns the call's error code (a media_exception type, 0 for success).
    int open(const kq::api::proto::serial_port_settings_t& settings);
    int close();
    int is_open(bool& result);
    int clear();
    int drain(QByteArray& dropped, int64_t quiet_ms, int64_t max_ms);
    int read_line(QString& line, const char* term, size_t max_len, int64_t timeout_ms);
    int read_line(QString& line, const char* term);
    int read_line(QString& line);
    int write_line(const QString& line);
    int read(QByteArray& data, int size);
    int read(QByteArray& data, int size, int64_t timeout_ms);
    int read_all(QByteArray& data, int64_t timeout_ms);
    int read_all(QByteArray& data);
    int write(const QByteArray& data);
    int get_timeout(int64_t& timeout_ms);
    void set_timeout(const int64_t& timeout_ms);
    // Closes and releases the port inside this thread before the owner joins it.
    void shutdown();

private:
    int _slot_open(const kq::api::proto::serial_port_settings_t& settings);
    int _slot_close();
    int _slot_is_open(bool& result);
    int _slot_clear();
    int _slot_drain(QByteArray& dropped, int64_t quiet_ms, int64_t max_ms);
    int _slot_read_line(QString& line, const char* term, size_t max_len, int64_t timeout_ms);
    int _slot_write_line(const QString& line);
    int _slot_read(QByteArray& data, int size, int64_t timeout_ms);
    int _slot_read_all(QByteArray& data, int64_t timeout_ms);
    int _slot_write(const QByteArray& data);
    int _slot_get_timeout(int64_t& timeout_ms);
    void _slot_set_timeout(const int64_t& timeout_ms);
    void _slot_stop_request();
    void _slot_shutdown();

    int _call(const std::function<int()>& body);
    template<typename Body>
    int _run(Body&& body);
    bool _port_open() const;
    void _require_open() const;
    bool _wait_for_data(int64_t left_ms = poll_period_ms);
    void _read_chunk(QByteArray& dest);
    void _read_available(QByteArray& dest);
    void _wait_output_drained();
    [[noreturn]] void _throw_elapsed() const;

    std::unique_ptr<QSerialPort> _port;
    std::atomic<int64_t> _timeout{2000};
    std::atomic<int> _error_code{0};
    std::exception _error_exception;
    std::atomic<bool> _running{false};
    QByteArray _input_buffer;
    char _transfer[1024];
};

} // namespace kq::api::proto
