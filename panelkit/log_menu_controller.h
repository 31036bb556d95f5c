#pragma once

#include "panelkit/panelkit_global.h"

#include <QObject>

class QListWidget;
class QPoint;

namespace kq::gui {

// The log view's context menu: "Copy selected" and "Clear".
class PANELKIT_EXPORT log_menu_controller : public QObject
{
    Q_OBJECT

public:
    explicit log_menu_controller(QListWidget* list);

    // The selected rows' texts in selection order, one per line.
    QString selected_text() const;
    void copy_selected() const;
    void clear();

private slots:
    void _on_context_menu(const QPoint& pos);

private:
    QListWidget* _list;
};

} // namespace kq::gui
