#include "panelkit/free_text.h"

#include "panelkit/module_settings.h"
#include "satcmd/kqttc/kqttc_request.h"

#include <QSettings>

#include <limits>

namespace kq::gui {

namespace {
constexpr int max_length = 116;
}

QString free_text_problem(const QString& text)
{
    if (text.isEmpty())
        return QStringLiteral("an empty line is not sent");
    if (text.size() > max_length)
        return QStringLiteral("%1 characters; a line holds at most %2")
            .arg(text.size())
            .arg(max_length);
    for (const QChar c : text) {
        if (api::proto::kqttc::kqttc_request::is_plain_text(QString(c)))
            continue;
        return QStringLiteral("%1 (U+%2) cannot be sent: only printable ASCII reaches the far "
                              "station as it was typed")
            .arg(c.category() == QChar::Other_Control ? QStringLiteral("a control character")
                                                      : QStringLiteral("'%1'").arg(c))
            .arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
    return {};
}

uint32_t next_text_sequence()
{
    QSettings settings;
    const auto next = uint32_t(setting_number(settings, QStringLiteral("text/last_sequence"), 0,
                                              std::numeric_limits<int32_t>::max() - 1, 0)) +
                      1;
    settings.setValue(QStringLiteral("text/last_sequence"), next);
    return next;
}

} // namespace kq::gui
