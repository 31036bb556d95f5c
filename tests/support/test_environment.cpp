#include "test_environment.h"

#include <QStandardPaths>
#include <QTemporaryDir>

namespace kq::testing {

void prepare_test_environment()
{
    static QTemporaryDir config_home;
    qputenv("XDG_CONFIG_HOME", config_home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", config_home.path().toLocal8Bit());
    QStandardPaths::setTestModeEnabled(true);
    // Protocol traces drown the test report; QT_LOGGING_RULES turns them on.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "kq.*.debug=false");
}

} // namespace kq::testing
