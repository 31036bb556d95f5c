#pragma once

#include "panelkit/panelkit_global.h"

#include <QMap>
#include <QObject>
#include <QPair>
#include <QPalette>
#include <QStringList>
#include <QVariant>
#include <QVector>

#include <cstdint>

class QWidget;

namespace kq::gui {

// What the controller knows of a parameter's widget: its class, and so which
// change signal marks an edit and how a value goes in and comes out.
enum widget_type_e : uint32_t {
    checkbox = 0,
    lineedit = 1,
    spinbox = 2,
    doublespinbox = 3,
    combobox = 4,
    label = 5,
    progressbar = 6,
    datetimeedit = 7,
    unmanaged = 8,
};

// Binds parameter ids to a panel's widgets: loads values into them, tracks
// which ones the user edited, collects the edits for writing, restores the
// last read values on discard, and marks captions for edits and errors.
class PANELKIT_EXPORT ui_controller : public QObject
{
    Q_OBJECT

public:
    using param_table_t = QMap<uint32_t, QPair<widget_type_e, QObject*>>;
    using hint_table_t = QMap<uint32_t, QWidget*>;

    // Both tables belong to the panel and must outlive the controller;
    // `hint_widgets` may be null (no captions to mark).
    ui_controller(const param_table_t* params, const hint_table_t* hint_widgets);

    void set_data(uint32_t id, const QVariant& value);
    // A value put in as the user's edit (a loaded configuration): shown,
    // underlined and collected for writing like a typed one.
    void set_edit(uint32_t id, const QVariant& value);

    // A value the device has not given: its field shows nothing ("—"),
    // greyed, with `why` ("not read", "no answer") as its tooltip, until a
    // value is set. An edit lifts the marking; discarding the edit brings
    // it back.
    void set_unknown(uint32_t id, const QString& why);
    void set_all_unknown(const QString& why);
    // Why the field holds no value from the device; empty when it does.
    QString unknown_reason(uint32_t id) const { return _unknown.value(id); }

    void set_loading_data(bool loading) { _loading = loading; }
    bool get_loading_data() const { return _loading; }

    // While it lives, values shown are not taken for the user's edits; the
    // state before it comes back when it ends.
    class loading_scope
    {
    public:
        explicit loading_scope(ui_controller& controller)
            : _controller(controller)
            , _was(controller.get_loading_data())
        {
            controller.set_loading_data(true);
        }
        ~loading_scope() { _controller.set_loading_data(_was); }
        loading_scope(const loading_scope&) = delete;
        loading_scope& operator=(const loading_scope&) = delete;

    private:
        ui_controller& _controller;
        bool _was;
    };

    bool has_changed_parameters() const { return !_changed.isEmpty(); }
    const QVector<uint32_t>& changed_parameters() const { return _changed; }
    // The captions of the edited fields, in the order of the first edits.
    QStringList changed_captions() const;
    void remove_changed_parameter(uint32_t id);
    void clear_changed_parameters() { _changed.clear(); }
    void collect_changed_params(QVector<QPair<uint32_t, QVariant>>& out) const;
    void discard_changes(const QMap<uint32_t, QVariant>& saved_values);

    void set_hint_for_error(uint32_t id, bool on, const QString& message);
    void set_hint_for_changed_value(uint32_t id, bool on, const QString& text);
    void clear_hints();

signals:
    void on_data_changed(uint32_t param);

private slots:
    void _on_data_changed();

private:
    void _watch(widget_type_e type, QObject* object);
    // Shows the field as holding no value, or lifts that look.
    void _show_unknown(uint32_t id, bool on);
    void _mark_edited(uint32_t id);
    QWidget* _hint_widget(uint32_t id) const;

    const param_table_t* _params;
    const hint_table_t* _hint_widgets;
    QMap<QObject*, uint32_t> _object_ids;
    QVector<uint32_t> _changed;
    QMap<uint32_t, QString> _unknown;
    // The look of a field before it was shown as unknown.
    struct look_t
    {
        QPalette palette;
        QString tool_tip;
    };
    QMap<uint32_t, look_t> _looks;
    bool _loading = false;
};

} // namespace kq::gui
