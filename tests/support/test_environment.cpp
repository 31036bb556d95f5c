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
}

} // namespace kq::testing
