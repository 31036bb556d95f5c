#pragma once

#include "panelkit/log_item.h"
#include "panelkit/panelkit_global.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>

class QListWidget;
class QListWidgetItem;
class QWidget;

namespace kq::gui {

class log_menu_controller;

// A panel's log: every line goes at once to the log file (opened, appended,
// closed, so nothing logged is lost) and, batched on an 800 ms timer, to the
// list view, which keeps at most the newest max-visible lines. Protocol
// traffic (KQTTC) reaches the view only in verbose mode.
class PANELKIT_EXPORT log_controller : public QObject
{
    Q_OBJECT

public:
    static constexpr int cache_interval_ms = 800;

    log_controller(QWidget* parent, const QString& name, QListWidget* list);
    ~log_controller() override;

    void log(log_item::log_level_e level, const QString& message);

    unsigned int get_max_visible_lines() const { return _max_visible; }
    void set_max_visible_lines(const unsigned int& lines) { _max_visible = lines; }
    bool get_is_verbose() const { return _verbose; }
    void set_is_verbose(bool verbose) { _verbose = verbose; }
    const QString& get_log_file_name() const { return _file_name; }
    void set_log_file_name(const QString& name) { _file_name = name; }

    // How often the view has been touched, for diagnostics and benchmarks.
    int view_updates() const { return _view_updates; }
    // Puts pending lines into the view now (as the timer would).
    void flush_view();

    static QColor background(log_item::log_level_e level);

private:
    void _create_log_file_name();
    void _append_to_file(const log_item& item) const;

    QString _name;
    QPointer<QListWidget> _list;
    // The row to drop from a full view: the oldest traffic line, else the oldest.
    static int oldest_to_drop(int count, const std::function<QListWidgetItem*(int)>& row);

    QList<QListWidgetItem*> _pending;
    log_menu_controller* _menu = nullptr;
    QTimer _cache_timer;
    QString _file_name;
    bool _verbose = false;
    unsigned int _max_visible = 200;
    int _view_updates = 0;
};

} // namespace kq::gui
