#include "panelkit/log_menu_controller.h"

#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QMenu>

namespace kq::gui {

log_menu_controller::log_menu_controller(QListWidget* list)
    : QObject(list)
    , _list(list)
{
    _list->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(_list, &QWidget::customContextMenuRequested, this,
            &log_menu_controller::_on_context_menu);
}

QString log_menu_controller::selected_text() const
{
    QStringList lines;
    for (const QListWidgetItem* item : _list->selectedItems())
        lines << item->text();
    return lines.join(QLatin1Char('\n'));
}

void log_menu_controller::copy_selected() const
{
    QApplication::clipboard()->setText(selected_text());
}

void log_menu_controller::clear()
{
    _list->clear();
}

void log_menu_controller::_on_context_menu(const QPoint& pos)
{
    QMenu menu(_list);
    menu.addAction(tr("Copy selected"), this, &log_menu_controller::copy_selected);
    menu.addAction(tr("Clear"), this, &log_menu_controller::clear);
    menu.exec(_list->mapToGlobal(pos));
}

} // namespace kq::gui
