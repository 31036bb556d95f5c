#pragma once

#include "serline/media_exception.h"
#include "serline/serial_port_settings.h"
#include "serline/serline_global.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace kq::api::proto {

// A byte and line transport. Every operation blocks its caller and reports
// failure by throwing media_exception. The signals mirror all traffic for
// observers such as log views; the transport itself never listens to them.
class SERLINE_EXPORT media : public QObject
{
    Q_OBJECT

public:
    using settings_t = serial_port_settings_t;

    explicit media(QObject* parent = nullptr);
    ~media() override;

    virtual void open() = 0;
    virtual void open(const settings_t& settings) = 0;
    virtual void close() = 0;
    virtual void stop_request() = 0;
    virtual bool is_open() = 0;
    virtual void clear() = 0;
    // Discards all input, the line buffer included, and returns it: what has
    // arrived, then, with quiet_ms > 0, what keeps arriving until the line
    // has been silent for quiet_ms or max_ms has passed.
    virtual void drain(QByteArray& dropped, int64_t quiet_ms, int64_t max_ms) = 0;
    // Waits ms milliseconds; a stop request ends the wait early with
    // `stopped` (within 20 ms).
    virtual void idle(int64_t ms) = 0;
    // A line already buffered is returned even with a zero timeout; with no
    // buffered line a zero timeout fails at once.
    virtual void read_line(QString& line, const char* term, size_t max_len, int64_t timeout_ms) = 0;
    virtual void read_line(QString& line, const char* term) = 0;
    virtual void read_line(QString& line) = 0;
    virtual void write_line(const QString& line) = 0;
    virtual void read(QByteArray& data, int size, int64_t timeout_ms) = 0;
    virtual void read(QByteArray& data, int size) = 0;
    virtual void read_all(QByteArray& data, int64_t timeout_ms) = 0;
    virtual void read_all(QByteArray& data) = 0;
    virtual void write(const QByteArray& data) = 0;
    virtual int64_t get_timeout() = 0;
    virtual void set_timeout(const int64_t& timeout_ms) = 0;
    virtual const settings_t& get_settings() const = 0;
    virtual void set_settings(const settings_t& settings) = 0;

signals:
    void on_read(const QByteArray& data);
    void on_read(const QString& data);
    void on_write(const QByteArray& data);
    void on_write(const QString& data);
};

} // namespace kq::api::proto
