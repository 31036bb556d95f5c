#include "panelkit/log_item.h"

namespace kq::gui {

log_item::log_item() = default;

log_item::log_item(log_level_e level, const QString& message, const QDateTime& date)
    : _level(level)
    , _message(message)
    , _date(date)
{
}

log_item::log_item(const log_item& other) = default;

log_item& log_item::operator=(const log_item& other) = default;

QString log_item::level_text(log_level_e level)
{
    switch (level) {
    case INFO:
        return QStringLiteral("INFO ");
    case WARN:
        return QStringLiteral("WARN ");
    case ERROR:
        return QStringLiteral("ERROR");
    case KQTTC:
        return QStringLiteral("KQTTC");
    }
    return QStringLiteral("?????");
}

QString log_item::toString() const
{
    return _date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss,zzz  ")) + level_text(_level) +
           QLatin1Char(' ') + _message;
}

} // namespace kq::gui
