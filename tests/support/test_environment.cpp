#include "test_environment.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

namespace kq::testing {

void prepare_test_environment()
{
    // A home of its own for every test process: Qt's test mode keeps settings
    // and data below HOME/.qttest, the programs a test starts inherit it, and
    // the functions of one test run side by side in processes of their own.
    static QTemporaryDir home;
    const QByteArray path = QFile::encodeName(home.path());
    qputenv("HOME", path);
    qputenv("XDG_CONFIG_HOME", path + "/.config");
    qputenv("XDG_DATA_HOME", path + "/.local/share");
    qputenv("XDG_CACHE_HOME", path + "/.cache");
    qputenv("XDG_RUNTIME_DIR", path); // private (0700), as Qt requires
    QStandardPaths::setTestModeEnabled(true);
    // Protocol traces drown the test report; QT_LOGGING_RULES turns them on.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "kq.*.debug=false");
}

qint64 resident_bytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields.at(1).toLongLong() * 4096 : -1;
}

} // namespace kq::testing
