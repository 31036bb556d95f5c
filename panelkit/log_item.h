#pragma once

#include "panelkit/panelkit_global.h"

#include <QDateTime>
#include <QString>

namespace kq::gui {

// One log entry: level, message and time stamp.
class PANELKIT_EXPORT log_item
{
public:
    enum log_level_e : int { INFO = 0, WARN = 1, ERROR = 2, KQTTC = 3 };

    log_item();
    log_item(log_level_e level, const QString& message, const QDateTime& date);
    log_item(const log_item& other);
    log_item& operator=(const log_item& other);

    const QDateTime& get_date() const { return _date; }
    log_level_e get_log_level() const { return _level; }
    const QString& get_message() const { return _message; }

    // "yyyy-MM-dd HH:mm:ss,zzz  " then the five-character level, a blank and
    // the message, so that every message starts in the same column.
    QString toString() const;
    static QString level_text(log_level_e level);

private:
    log_level_e _level = INFO;
    QString _message;
    QDateTime _date;
};

} // namespace kq::gui
