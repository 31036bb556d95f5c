#include "capture.h"
#include "serline/serial_port.h"
#include "test_environment.h"
#include "virtual_serial_pair.h"

#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>

using namespace kq::api::proto;
using kq::satsim::virtual_serial_pair;
using kq::testing::capture;
using media_type = media_exception::exception_type_e;

Q_DECLARE_METATYPE(std::function<void(serial_port&)>)
using port_op = std::function<void(serial_port&)>;

namespace {

std::optional<media_type> media_error(const std::function<void()>& f)
{
    const auto e = capture<media_exception>(f);
    return e ? std::optional<media_type>(e->get_type()) : std::nullopt;
}

// Runs f on another thread after a delay; joins on destruction.
class delayed
{
public:
    delayed(int ms, std::function<void()> f)
        : _t([ms, f = std::move(f)] {
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
            f();
        })
    {
    }
    ~delayed() { done(); }
    // Returns once f has run.
    void done()
    {
        if (_t.joinable())
            _t.join();
    }

private:
    std::thread _t;
};

} // namespace

// The transport through the real QSerialPort on a pseudo-terminal.
class tst_serial_port : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void reads_lines_data();
    void reads_lines();
    void empty_line_after_crlf_comes_at_once();
    void read_returns_the_whole_chunk();
    void read_collects_until_size();
    void read_all_times_out_in_silence();
    void read_all_ends_at_first_pause();
    void read_line_times_out_keeping_partial_line();
    void io_before_open_is_not_open_data();
    void io_before_open_is_not_open();
    void io_after_stop_is_stopped_until_reopen_data();
    void io_after_stop_is_stopped_until_reopen();
    void stop_from_another_thread_ends_blocked_read();
    void set_timeout_elsewhere_leaves_each_call_its_error();
    void drain_takes_everything_data();
    void drain_takes_everything();
    void idle_ends_at_a_stop();
    void write_line_sends_exactly_the_text();
    void write_sends_bytes_unchanged();
    void on_read_only_after_successful_reads();
    void timeouts_follow_settings();
    void baud_conversions_data();
    void baud_conversions();
    void baud_conversion_errors();
    void opening_missing_port_fails();
    void opening_twice_fails();
    void unplugged_cable_ends_read_with_error();

private:
    void open_port();
    std::unique_ptr<virtual_serial_pair> _pair;
    std::unique_ptr<serial_port> _port;
};

void tst_serial_port::init()
{
    _pair = std::make_unique<virtual_serial_pair>();
    media::settings_t s;
    s.port_name = _pair->port_name();
    s.timeout = 1000;
    _port = std::make_unique<serial_port>(s);
}

void tst_serial_port::cleanup()
{
    _port.reset();
    _pair.reset();
}

void tst_serial_port::open_port()
{
    _port->open();
    QVERIFY(_port->is_open());
}

void tst_serial_port::reads_lines_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("term");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("OK crlf") << QByteArray("OK\r\n") << QByteArray("\r\n") << QStringList{"OK", ""};
    QTest::newRow("lf and cr") << QByteArray("A\nB\r") << QByteArray("\r\n")
                               << QStringList{"A", "B"};
    QTest::newRow("nul cuts line")
        << QByteArray("AB\0CD\rEF\r", 9) << QByteArray("\r") << QStringList{"AB", "EF"};
    QTest::newRow("rest stays for next read")
        << QByteArray("ONE\rTWO\rTHR") << QByteArray("\r") << QStringList{"ONE", "TWO"};
}

void tst_serial_port::reads_lines()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, term);
    QFETCH(QStringList, lines);

    open_port();
    _pair->write(input);
    for (const QString& expected : lines) {
        QString line;
        _port->read_line(line, term.constData());
        QCOMPARE(line, expected);
    }
    // What is left of an unterminated line is completed by later bytes.
    _pair->write("\r");
    QString tail;
    if (input.endsWith("THR")) {
        _port->read_line(tail, term.constData());
        QCOMPARE(tail, QString("THR"));
    }
}

void tst_serial_port::empty_line_after_crlf_comes_at_once()
{
    open_port();
    _pair->write("OK\r\n");
    QString line;
    _port->read_line(line, "\r\n", 2048, 5000);
    QCOMPARE(line, QString("OK"));
    QElapsedTimer t;
    t.start();
    _port->read_line(line, "\r\n", 2048, 5000);
    QCOMPARE(line, QString());
    QVERIFY2(t.elapsed() < 1000, "the remaining line feed must not wait for more input");
}

void tst_serial_port::read_returns_the_whole_chunk()
{
    open_port();
    _pair->write("0123456789");
    QByteArray data;
    _port->read(data, 4);
    QCOMPARE(data, QByteArray("0123456789"));
}

void tst_serial_port::read_collects_until_size()
{
    open_port();
    delayed second(100, [this] { _pair->write("world"); });
    _pair->write("hello ");
    QByteArray data;
    _port->read(data, 11, 3000);
    QCOMPARE(data, QByteArray("hello world"));
}

void tst_serial_port::read_all_times_out_in_silence()
{
    open_port();
    QByteArray data = "stale";
    QCOMPARE(media_error([&] { _port->read_all(data, 200); }), media_exception::timeout);
}

void tst_serial_port::read_all_ends_at_first_pause()
{
    open_port();
    _pair->write("burst one");
    delayed later(400, [this] { _pair->write("burst two"); });
    QByteArray data;
    _port->read_all(data, 5000);
    QCOMPARE(data, QByteArray("burst one"));
    _port->read_all(data, 5000);
    QCOMPARE(data, QByteArray("burst two"));
}

void tst_serial_port::read_line_times_out_keeping_partial_line()
{
    open_port();
    _pair->write("PART");
    QString line;
    QCOMPARE(media_error([&] { _port->read_line(line, "\r\n", 2048, 150); }),
             media_exception::timeout);
    _pair->write("IAL\r");
    _port->read_line(line);
    QCOMPARE(line, QString("PARTIAL"));
}

namespace {

void add_io_rows()
{
    QTest::addColumn<port_op>("op");
    QString line;
    QTest::newRow("read_line") << port_op([](serial_port& p) {
        QString l;
        p.read_line(l);
    });
    QTest::newRow("read_line term") << port_op([](serial_port& p) {
        QString l;
        p.read_line(l, "\r");
    });
    QTest::newRow("read_line full") << port_op([](serial_port& p) {
        QString l;
        p.read_line(l, "\r", 10, 100);
    });
    QTest::newRow("write_line") << port_op([](serial_port& p) { p.write_line("x"); });
    QTest::newRow("read") << port_op([](serial_port& p) {
        QByteArray d;
        p.read(d, 1);
    });
    QTest::newRow("read timeout") << port_op([](serial_port& p) {
        QByteArray d;
        p.read(d, 1, 100);
    });
    QTest::newRow("read_all") << port_op([](serial_port& p) {
        QByteArray d;
        p.read_all(d);
    });
    QTest::newRow("read_all timeout") << port_op([](serial_port& p) {
        QByteArray d;
        p.read_all(d, 100);
    });
    QTest::newRow("write") << port_op([](serial_port& p) { p.write("x"); });
}

} // namespace

void tst_serial_port::io_before_open_is_not_open_data()
{
    add_io_rows();
}

void tst_serial_port::io_before_open_is_not_open()
{
    QFETCH(port_op, op);
    QVERIFY(!_port->is_open());
    QCOMPARE(media_error([&] { op(*_port); }), media_exception::not_open);
    QCOMPARE(_pair->read(50), QByteArray());
}

void tst_serial_port::io_after_stop_is_stopped_until_reopen_data()
{
    add_io_rows();
}

void tst_serial_port::io_after_stop_is_stopped_until_reopen()
{
    QFETCH(port_op, op);
    open_port();
    _pair->write("data\r");
    _port->stop_request();
    QVERIFY(_port->is_open());
    QCOMPARE(media_error([&] { op(*_port); }), media_exception::stopped);
    QCOMPARE(media_error([&] { op(*_port); }), media_exception::stopped);

    _port->close();
    open_port();
    _port->write_line("after");
    QCOMPARE(_pair->read_exact(5, 1000), QByteArray("after"));
}

// One thread reads from a silent line while another keeps setting the
// timeout: every read still ends with its own timeout, never with success.
void tst_serial_port::set_timeout_elsewhere_leaves_each_call_its_error()
{
    open_port();
    std::atomic<bool> reading{true};
    std::thread setter([&] {
        while (reading.load())
            _port->set_timeout(5);
    });
    int timeouts = 0;
    for (int i = 0; i < 300; ++i) {
        QString line = QStringLiteral("untouched");
        if (media_error([&] { _port->read_line(line, "\r\n", 2048, 5); }) == media_type::timeout)
            ++timeouts;
    }
    reading.store(false);
    setter.join();
    QCOMPARE(timeouts, 300);
}

void tst_serial_port::drain_takes_everything_data()
{
    QTest::addColumn<int>("quiet_ms");
    QTest::addColumn<QByteArray>("later");
    QTest::addColumn<QByteArray>("dropped");
    QTest::addColumn<QString>("next");
    // A line read first leaves "TWO\rPAR" in the line buffer.
    QTest::newRow("what is there")
        << 0 << QByteArray("LATE\r") << QByteArray("TWO\rPARtial") << QStringLiteral("LATE");
    QTest::newRow("until quiet") << 150 << QByteArray("LATE\r") << QByteArray("TWO\rPARtialLATE\r")
                                 << QStringLiteral("NEXT");
}

void tst_serial_port::drain_takes_everything()
{
    QFETCH(int, quiet_ms);
    QFETCH(QByteArray, later);
    QFETCH(QByteArray, dropped);
    QFETCH(QString, next);
    open_port();
    _pair->write("ONE\rTWO\rPAR");
    QString line;
    _port->read_line(line, "\r");
    QCOMPARE(line, QStringLiteral("ONE"));
    // The device's second burst, then a third; the port reads the second on
    // its own before the drain.
    _pair->write("tial");
    QTest::qWait(50);
    delayed device(60, [&] { _pair->write(later); });
    QByteArray got;
    _port->drain(got, quiet_ms, 1000);
    QCOMPARE(got, dropped);
    device.done(); // the third burst is on the line before the next line
    _pair->write("NEXT\r");
    _port->read_line(line, "\r");
    QCOMPARE(line, next); // nothing dropped comes again
}

void tst_serial_port::idle_ends_at_a_stop()
{
    open_port();
    QElapsedTimer clock;
    clock.start();
    _port->idle(80);
    QVERIFY(clock.elapsed() >= 80);
    QElapsedTimer since_stop;
    delayed stopper(100, [&] {
        since_stop.start();
        _port->stop_request();
    });
    QCOMPARE(media_error([&] { _port->idle(10000); }), media_type::stopped);
    QVERIFY2(since_stop.elapsed() < 50, qPrintable(QString::number(since_stop.elapsed())));
}

void tst_serial_port::stop_from_another_thread_ends_blocked_read()
{
    open_port();
    QElapsedTimer since_stop;
    delayed stopper(200, [&] {
        since_stop.start();
        _port->stop_request();
    });
    QString line;
    QCOMPARE(media_error([&] { _port->read_line(line, "\r\n", 2048, 10000); }),
             media_exception::stopped);
    const qint64 took = since_stop.elapsed();
    QVERIFY2(took < 150, qPrintable(QString("stop took %1 ms").arg(took)));
}

void tst_serial_port::write_line_sends_exactly_the_text()
{
    open_port();
    bool wire_empty_at_signal = false;
    QString signalled;
    connect(_port.get(), QOverload<const QString&>::of(&media::on_write), this,
            [&](const QString& s) {
                signalled = s;
                wire_empty_at_signal = !_pair->wait_readable(0);
            });
    _port->write_line("x");
    QCOMPARE(signalled, QString("x"));
    QVERIFY(wire_empty_at_signal);
    QCOMPARE(_pair->read(500), QByteArray("x"));
}

void tst_serial_port::write_sends_bytes_unchanged()
{
    open_port();
    QByteArray all;
    for (int i = 0; i < 256; ++i)
        all.append(static_cast<char>(i));
    all = all.repeated(64); // larger than the pseudo-terminal's buffer
    delayed writer(0, [&] { _port->write(all); });
    QCOMPARE(_pair->read_exact(all.size(), 5000), all);
}

void tst_serial_port::on_read_only_after_successful_reads()
{
    open_port();
    QStringList lines;
    QList<QByteArray> blocks;
    connect(_port.get(), QOverload<const QString&>::of(&media::on_read), this,
            [&](const QString& s) { lines << s; });
    connect(_port.get(), QOverload<const QByteArray&>::of(&media::on_read), this,
            [&](const QByteArray& b) { blocks << b; });

    QString line;
    QByteArray data;
    QVERIFY(media_error([&] { _port->read_line(line, "\r", 2048, 100); }));
    QVERIFY(media_error([&] { _port->read(data, 1, 100); }));
    QVERIFY(lines.isEmpty());
    QVERIFY(blocks.isEmpty());

    _pair->write("L1\r");
    _port->read_line(line, "\r");
    QCOMPARE(lines, QStringList{"L1"});
    _pair->write("B");
    _port->read(data, 1);
    QCOMPARE(blocks, QList<QByteArray>{"B"});
}

void tst_serial_port::timeouts_follow_settings()
{
    QCOMPARE(_port->get_timeout(), int64_t(1000));
    _port->set_timeout(120);
    QCOMPARE(_port->get_timeout(), int64_t(120));
    QCOMPARE(_port->get_settings().timeout, int64_t(120));
    open_port();
    QElapsedTimer t;
    t.start();
    QString line;
    QCOMPARE(media_error([&] { _port->read_line(line); }), media_exception::timeout);
    QVERIFY(t.elapsed() >= 120);
}

void tst_serial_port::baud_conversions_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("rate");
    const int rates[] = {9600, 1200, 19200, 115200, 1000000, 3000000, 9000000, 1152000};
    for (int code = 0; code < 8; ++code)
        QTest::addRow("code %d", code) << code << rates[code];
}

void tst_serial_port::baud_conversions()
{
    QFETCH(int, code);
    QFETCH(int, rate);
    QCOMPARE(int(serial_port::uart_baud_to_baud_rate(uart_baud_e(code))), rate);
    QCOMPARE(int(serial_port::baud_rate_to_uart_baud(baud_rate_e(rate))), code);
}

void tst_serial_port::baud_conversion_errors()
{
    auto e =
        capture<std::runtime_error>([] { serial_port::uart_baud_to_baud_rate(uart_baud_e(8)); });
    QVERIFY(e);
    QCOMPARE(QString(e->what()), QString("invalid serial_port_baud_rate"));
    e = capture<std::runtime_error>(
        [] { serial_port::baud_rate_to_uart_baud(baud_rate_e(57600)); });
    QVERIFY(e);
    QCOMPARE(QString(e->what()), QString("unsupported baud_rate"));
}

void tst_serial_port::opening_missing_port_fails()
{
    media::settings_t s;
    s.port_name = "/dev/kq-no-such-port";
    serial_port port(s);
    QCOMPARE(media_error([&] { port.open(); }), media_exception::open_failed);
    QVERIFY(!port.is_open());
    QCOMPARE(media_error([&] { port.write_line("x"); }), media_exception::not_open);
}

void tst_serial_port::opening_twice_fails()
{
    open_port();
    QCOMPARE(media_error([&] { _port->open(); }), media_exception::open_failed);
    _port->close();
    QVERIFY(!_port->is_open());
    open_port();
}

void tst_serial_port::unplugged_cable_ends_read_with_error()
{
    open_port();
    delayed unplug(100, [this] { _pair->close_master(); });
    QElapsedTimer t;
    t.start();
    QString line;
    const auto error = media_error([&] { _port->read_line(line, "\r\n", 2048, 3000); });
    QVERIFY(error);
    QCOMPARE(*error, media_exception::read_failed);
    QVERIFY2(t.elapsed() < 2500, "an unplugged cable must not wait for the timeout");
    QVERIFY(media_error([&] { _port->read_line(line, "\r\n", 2048, 200); }));
}

KQ_TEST_MAIN(tst_serial_port)
#include "tst_serial_port.moc"
