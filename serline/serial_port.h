#pragma once

#include "serline/media.h"
#include "serline/serline_global.h"
#include "serline/uart_baud.h"

#include <QThread>

#include <memory>

namespace kq::api::proto {

class serial_port_atomic;

// The serial transport. Every call is handed to a private I/O thread and
// blocks until it has run there; the outcome comes back as an error code and
// is thrown here, in the caller's thread. Never call it from its own I/O
// thread. stop_request() may be called from any thread: it ends a blocked
// read or write with `stopped` within one polling period.
class SERLINE_EXPORT serial_port : public media
{
    Q_OBJECT

public:
    explicit serial_port(const settings_t& settings);
    ~serial_port() override;

    void open() override;
    void open(const settings_t& settings) override;
    void close() override;
    void stop_request() override;
    bool is_open() override;
    void clear() override;
    void drain(QByteArray& dropped, int64_t quiet_ms, int64_t max_ms) override;
    void idle(int64_t ms) override;
    void read_line(QString& line, const char* term, size_t max_len, int64_t timeout_ms) override;
    void read_line(QString& line, const char* term) override;
    void read_line(QString& line) override;
    void write_line(const QString& line) override;
    void read(QByteArray& data, int size, int64_t timeout_ms) override;
    void read(QByteArray& data, int size) override;
    void read_all(QByteArray& data, int64_t timeout_ms) override;
    void read_all(QByteArray& data) override;
    void write(const QByteArray& data) override;
    int64_t get_timeout() override;
    void set_timeout(const int64_t& timeout_ms) override;
    const settings_t& get_settings() const override;
    void set_settings(const settings_t& settings) override;

    static baud_rate_e uart_baud_to_baud_rate(uart_baud_e code);
    static uart_baud_e baud_rate_to_uart_baud(baud_rate_e rate);

private:
    static void _handle_error(int code);

    std::unique_ptr<QThread> _thread;
    std::unique_ptr<serial_port_atomic> _worker;
    settings_t _settings;
};

} // namespace kq::api::proto
