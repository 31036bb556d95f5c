#include "serline/serial_port.h"

#include "serline/serial_port_atomic.h"

#include <QElapsedTimer>

#include <algorithm>
#include <stdexcept>

namespace kq::api::proto {

namespace {

struct baud_pair
{
    uart_baud_e code;
    baud_rate_e rate;
};

constexpr baud_pair baud_table[] = {
    {uart_baud_9600, baud_rate_9600},       {uart_baud_1200, baud_rate_1200},
    {uart_baud_19200, baud_rate_19200},     {uart_baud_115200, baud_rate_115200},
    {uart_baud_1000000, baud_rate_1000000}, {uart_baud_3000000, baud_rate_3000000},
    {uart_baud_9000000, baud_rate_9000000}, {uart_baud_1152000, baud_rate_1152000},
};

} // namespace

serial_port::serial_port(const settings_t& settings)
    : _thread(std::make_unique<QThread>())
    , _worker(std::make_unique<serial_port_atomic>())
    , _settings(settings)
{
    _thread->setObjectName(QStringLiteral("serial_port"));
    _worker->moveToThread(_thread.get());
    _thread->start(QThread::InheritPriority);
}

serial_port::~serial_port()
{
    _worker->shutdown(); // errors of this last close are of no interest
    _thread->quit();
    _thread->wait();
}

void serial_port::open()
{
    _handle_error(_worker->open(_settings));
}

void serial_port::open(const settings_t& settings)
{
    set_settings(settings);
    open();
}

void serial_port::close()
{
    _handle_error(_worker->close());
}

void serial_port::drain(QByteArray& dropped, int64_t quiet_ms, int64_t max_ms)
{
    _handle_error(_worker->drain(dropped, quiet_ms, max_ms));
    if (!dropped.isEmpty())
        emit on_read(dropped);
}

void serial_port::idle(int64_t ms)
{
    constexpr int64_t slice_ms = 20;
    QElapsedTimer timer;
    timer.start();
    for (int64_t left = ms; left > 0; left = ms - timer.elapsed()) {
        if (!_worker->is_running())
            throw media_exception(media_exception::stopped);
        QThread::msleep(static_cast<unsigned long>(std::min(left, slice_ms)));
    }
    if (!_worker->is_running())
        throw media_exception(media_exception::stopped);
}

void serial_port::stop_request()
{
    _worker->stop_request();
}

bool serial_port::is_open()
{
    bool result = false;
    _handle_error(_worker->is_open(result));
    return result;
}

void serial_port::clear()
{
    _handle_error(_worker->clear());
}

void serial_port::read_line(QString& line, const char* term, size_t max_len, int64_t timeout_ms)
{
    _handle_error(_worker->read_line(line, term, max_len, timeout_ms));
    emit on_read(line);
}

void serial_port::read_line(QString& line, const char* term)
{
    _handle_error(_worker->read_line(line, term));
    emit on_read(line);
}

void serial_port::read_line(QString& line)
{
    _handle_error(_worker->read_line(line));
    emit on_read(line);
}

void serial_port::write_line(const QString& line)
{
    emit on_write(line);
    _handle_error(_worker->write_line(line));
}

void serial_port::read(QByteArray& data, int size, int64_t timeout_ms)
{
    _handle_error(_worker->read(data, size, timeout_ms));
    emit on_read(data);
}

void serial_port::read(QByteArray& data, int size)
{
    _handle_error(_worker->read(data, size));
    emit on_read(data);
}

void serial_port::read_all(QByteArray& data, int64_t timeout_ms)
{
    _handle_error(_worker->read_all(data, timeout_ms));
    emit on_read(data);
}

void serial_port::read_all(QByteArray& data)
{
    _handle_error(_worker->read_all(data));
    emit on_read(data);
}

void serial_port::write(const QByteArray& data)
{
    emit on_write(data);
    _handle_error(_worker->write(data));
}

int64_t serial_port::get_timeout()
{
    return _settings.timeout;
}

void serial_port::set_timeout(const int64_t& timeout_ms)
{
    _settings.timeout = timeout_ms;
    _worker->set_timeout(timeout_ms);
}

const serial_port::settings_t& serial_port::get_settings() const
{
    return _settings;
}

void serial_port::set_settings(const settings_t& settings)
{
    _settings = settings;
}

baud_rate_e serial_port::uart_baud_to_baud_rate(uart_baud_e code)
{
    for (const baud_pair& p : baud_table) {
        if (p.code == code)
            return p.rate;
    }
    throw std::runtime_error("invalid serial_port_baud_rate");
}

uart_baud_e serial_port::baud_rate_to_uart_baud(baud_rate_e rate)
{
    for (const baud_pair& p : baud_table) {
        if (p.rate == rate)
            return p.code;
    }
    throw std::runtime_error("unsupported baud_rate");
}

void serial_port::_handle_error(int code)
{
    QThread::yieldCurrentThread();
    if (code == media_exception::no_error)
        return;
    if (code == media_exception::general)
        throw std::exception();
    throw media_exception(static_cast<media_exception::exception_type_e>(code));
}

} // namespace kq::api::proto
