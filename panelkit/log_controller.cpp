#include "panelkit/log_controller.h"

#include "panelkit/log_menu_controller.h"

#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QSettings>

namespace kq::gui {

log_controller::log_controller(QWidget* parent, const QString& name, QListWidget* list)
    : QObject(parent)
    , _name(name)
    , _list(list)
{
    if (_list) {
        _cache_timer.setSingleShot(true);
        _cache_timer.setInterval(cache_interval_ms);
        connect(&_cache_timer, &QTimer::timeout, this, &log_controller::flush_view);
        _menu = new log_menu_controller(_list); // owned by the list
    }
    _create_log_file_name();
}

log_controller::~log_controller()
{
    qDeleteAll(_pending);
}

void log_controller::_create_log_file_name()
{
    const QString location = QSettings().value(QStringLiteral("common/log_location")).toString();
    if (!QDir(location).exists() || location.isEmpty()) {
        log(log_item::WARN, tr("Could not create log directory: ") + QDir(location).path());
        return;
    }
    _name += QLatin1Char('-');
    _file_name = location + QDir::separator() + _name +
                 QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss")) +
                 QStringLiteral(".log");
    const QString start = tr("Starting log at: ") + _file_name;
    log(log_item::INFO, start);
    log(log_item::INFO, QString(start.size(), QLatin1Char('-')));
}

QColor log_controller::background(log_item::log_level_e level)
{
    switch (level) {
    case log_item::WARN:
        return Qt::yellow;
    case log_item::ERROR:
        return Qt::red;
    case log_item::KQTTC:
        return Qt::cyan;
    default:
        return Qt::white;
    }
}

void log_controller::_append_to_file(const log_item& item) const
{
    if (_file_name.isEmpty())
        return;
    QFile file(_file_name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return; // tried again with the next line
    file.write((item.toString() + QStringLiteral("\r\n")).toUtf8());
}

void log_controller::log(log_item::log_level_e level, const QString& message)
{
    QString text = message;
    if (text.endsWith(QLatin1Char('\r')))
        text.truncate(text.lastIndexOf(QLatin1Char('\r')));
    const log_item item(level, text, QDateTime::currentDateTime());
    _append_to_file(item);
    if (!_list || (level == log_item::KQTTC && !_verbose))
        return;
    auto* row = new QListWidgetItem(item.toString());
    row->setData(Qt::UserRole, int(level));
    row->setBackground(background(level));
    if (level == log_item::ERROR)
        row->setForeground(Qt::white);
    _pending.append(row);
    // Lines beyond what the view keeps would only be inserted to be trimmed.
    while (_pending.size() > int(_max_visible))
        delete _pending.takeAt(
            oldest_to_drop(_pending.size(), [this](int i) { return _pending.at(i); }));
    if (!_cache_timer.isActive())
        _cache_timer.start();
}

// Traffic goes first when the view is full, so that however much of it runs
// the operations' lines and errors stay in sight.
int log_controller::oldest_to_drop(int count, const std::function<QListWidgetItem*(int)>& row)
{
    for (int i = 0; i < count; ++i) {
        if (row(i)->data(Qt::UserRole).toInt() == log_item::KQTTC)
            return i;
    }
    return 0;
}

void log_controller::flush_view()
{
    _cache_timer.stop();
    if (!_list) {
        qDeleteAll(_pending);
        _pending.clear();
        return;
    }
    ++_view_updates;
    for (QListWidgetItem* row : qAsConst(_pending))
        _list->addItem(row);
    _pending.clear();
    // The view is the record of what is shown: rows cleared from its menu
    // are simply gone.
    while (_list->count() > int(_max_visible))
        delete _list->takeItem(
            oldest_to_drop(_list->count(), [this](int i) { return _list->item(i); }));
    if (_list->count() > 0) {
        _list->clearSelection();
        _list->setCurrentRow(_list->count() - 1);
    }
}

} // namespace kq::gui
