#include "sim_process.h"

#include <QElapsedTimer>
#include <QTest>

#include <csignal>

namespace kq::testing {

sim_process::sim_process(const QString& program, const QStringList& arguments)
    : _dir(std::make_unique<QTemporaryDir>())
    , _process(std::make_unique<QProcess>())
{
    _link = _dir->filePath(QStringLiteral("uhf"));
    _process->setProcessChannelMode(QProcess::SeparateChannels);
    _process->start(program, QStringList{QStringLiteral("--link"), _link} + arguments);
    if (!_process->waitForStarted(10000)) {
        _error = QStringLiteral("cannot start %1: %2").arg(program, _process->errorString());
        return;
    }
    QElapsedTimer clock;
    clock.start();
    QByteArray seen;
    while (clock.elapsed() < 15000) {
        if (!_process->canReadLine() && !_process->waitForReadyRead(200)) {
            if (_process->state() != QProcess::Running)
                break;
            continue;
        }
        const QString line = QString::fromLocal8Bit(_process->readLine()).trimmed();
        seen += line.toLocal8Bit() + '\n';
        if (line.startsWith(QLatin1String("port: ")))
            _port = line.mid(6);
        else if (line.startsWith(QLatin1String("store: ")))
            _store = line.mid(7);
        else if (line.startsWith(QLatin1String("ready"))) {
            _ok = !_port.isEmpty();
            return;
        }
    }
    _error = QStringLiteral("the simulator did not get ready: %1 %2")
                 .arg(QString::fromLocal8Bit(seen),
                      QString::fromLocal8Bit(_process->readAllStandardError()));
}

sim_process::~sim_process()
{
    if (_process->state() == QProcess::Running && !interrupt()) {
        _process->kill();
        _process->waitForFinished(5000);
    }
}

bool sim_process::interrupt(int timeout_ms)
{
    if (_process->state() != QProcess::Running)
        return true;
    ::kill(pid_t(_process->processId()), SIGINT);
    return _process->waitForFinished(timeout_ms);
}

bool wait_for_output(QProcess& process, QProcess::ProcessChannel channel, const QByteArray& text,
                     int timeout_ms)
{
    QByteArray seen;
    return QTest::qWaitFor(
        [&] {
            process.setReadChannel(channel);
            seen += process.readAll();
            return seen.contains(text);
        },
        timeout_ms);
}

program_run run_program(const QString& program, const QStringList& arguments, int timeout_ms,
                        const QProcessEnvironment& environment)
{
    QProcess p;
    if (!environment.isEmpty())
        p.setProcessEnvironment(environment);
    p.start(program, arguments);
    program_run r;
    if (!p.waitForStarted(10000))
        return r;
    if (!p.waitForFinished(timeout_ms)) {
        p.kill();
        p.waitForFinished(5000);
        r.err = "timed out";
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

QString describe(const program_run& run)
{
    return QStringLiteral("exit %1, out: %2, err: %3")
        .arg(run.code)
        .arg(QString::fromLocal8Bit(run.out), QString::fromLocal8Bit(run.err));
}

const QStringList& quick_timing()
{
    static const QStringList timing{"--timeout-s",       "300", "--timeout-m",  "300",
                                    "--timeout-l",       "600", "--timeout-xl", "1500",
                                    "--persistent-time", "150"};
    return timing;
}

} // namespace kq::testing
