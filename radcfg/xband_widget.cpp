#include "xband_widget.h"

#include "monitor_widget.h"
#include "xband_worker.h"

#include "panelkit/local_file.h"
#include "panelkit/local_file_error.h"
#include "panelkit/xband_params.h"
#include "panelkit/xband_report.h"
#include "panelkit/xband_transfer.h"
#include "satcmd/xband_module.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

namespace radcfg {

using namespace kq::api::proto;
using kq::gui::log_item;
using kq::gui::sat_worker;
using kq::gui::ui_controller;

namespace {

QTableWidget* make_table(QWidget* parent, const QStringList& headers)
{
    auto* t = new QTableWidget(0, headers.size(), parent);
    t->setHorizontalHeaderLabels(headers);
    t->horizontalHeader()->setStretchLastSection(true);
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::SingleSelection);
    return t;
}

void set_row(QTableWidget* t, int row, const QStringList& cells)
{
    for (int c = 0; c < cells.size(); ++c)
        t->setItem(row, c, new QTableWidgetItem(cells.at(c)));
}

} // namespace

xband_widget::xband_widget(QWidget* parent, xband_module* module)
    : param_panel(parent, module)
    , _xband_worker(new xband_worker(nullptr, module))
    , _tabs(new QTabWidget(this))
    , _log_view(new QListWidget(this))
{
    _tabs->addTab(_build_parameters(), tr("&Parameters"));
    _tabs->addTab(_build_report(), tr("&Report"));
    _tabs->addTab(_build_files(), tr("&Files and modes"));
    _monitor = new monitor_widget(this, kq::gui::monitor_sampler::device_e::xband, _xband_worker);
    _tabs->addTab(_monitor, tr("&Monitor"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(_tabs, 3);
    layout->addWidget(_log_view, 1);

    _init_parameters();
    _init_log(QStringLiteral("XBAND"), _log_view);
    _start_worker(_xband_worker);
    connect(_xband_worker, &xband_worker::report_read, this, &xband_widget::_show_report);
    connect(_xband_worker, &xband_worker::files_listed, this, &xband_widget::_show_files);
    connect(_xband_worker, &cp_worker::notice, this,
            [this](const QString& text) { _log(log_item::INFO, text); });
    connect(_xband_worker, &xband_worker::readback_mismatch, this, &xband_widget::_show_mismatch);
    connect(_monitor, &monitor_widget::message, this,
            [this](const QString& text) { _log(log_item::WARN, text); });
    _refresh_timer.setSingleShot(false);
    connect(&_refresh_timer, &QTimer::timeout, this, [this] {
        if (_controls_enabled()) // never queued behind a running operation
            _xband_worker->read_report(_full->isChecked());
    });
    _enable_controls(true);
}

xband_widget::~xband_widget()
{
    _refresh_timer.stop();
}

QWidget* xband_widget::_build_parameters()
{
    auto* page = new QWidget(this);
    auto* form = new QFormLayout;
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    const auto& table = kq::gui::xband_params();
    for (int i = 0; i < table.size(); ++i) {
        const kq::gui::xband_param_t& p = table.at(i);
        QWidget* field = nullptr;
        kq::gui::widget_type_e type = kq::gui::label;
        if (!p.writable()) {
            field = new QLabel(page);
        } else if (p.whole) {
            auto* box = new QSpinBox(page);
            box->setRange(0, int(p.maximum));
            field = box;
            type = kq::gui::spinbox;
        } else {
            auto* box = new QDoubleSpinBox(page);
            box->setDecimals(3);
            box->setRange(0, p.maximum);
            field = box;
            type = kq::gui::doublespinbox;
        }
        field->setObjectName(p.name);
        _add_field(form, uint32_t(i + 1), p.caption, type, field);
    }
    auto* layout = new QVBoxLayout(page);
    layout->addLayout(form);
    layout->addStretch();
    layout->addLayout(_param_buttons(page));
    return page;
}

QWidget* xband_widget::_build_report()
{
    auto* page = new QWidget(this);
    _report = make_table(page, {tr("Field"), tr("Value")});
    _report->setObjectName(QStringLiteral("report"));
    _full = new QCheckBox(tr("F&ull report"), page);
    _full->setChecked(true);
    _auto_refresh = new QCheckBox(tr("Refresh e&very"), page);
    _refresh_s = new QSpinBox(page);
    _refresh_s->setRange(1, 3600);
    _refresh_s->setValue(5);
    _refresh_s->setSuffix(tr(" s"));
    _btn_refresh = new QPushButton(tr("Re&fresh"), page);
    connect(_btn_refresh, &QPushButton::clicked, this,
            [this] { _xband_worker->read_report(_full->isChecked()); });
    const auto schedule = [this] {
        _refresh_timer.setInterval(_refresh_s->value() * 1000);
        if (_auto_refresh->isChecked())
            _refresh_timer.start();
        else
            _refresh_timer.stop();
    };
    connect(_auto_refresh, &QCheckBox::toggled, this, schedule);
    connect(_refresh_s, QOverload<int>::of(&QSpinBox::valueChanged), this, schedule);
    auto* controls = new QHBoxLayout;
    controls->addWidget(_full);
    controls->addStretch();
    controls->addWidget(_auto_refresh);
    controls->addWidget(_refresh_s);
    controls->addWidget(_btn_refresh);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(_report);
    layout->addLayout(controls);
    return page;
}

QWidget* xband_widget::_build_files()
{
    auto* page = new QWidget(this);
    _files = make_table(page, {tr("Name"), tr("Size")});
    _files->setObjectName(QStringLiteral("files"));
    const auto button = [&](const QString& text, auto&& action) {
        auto* b = new QPushButton(text, page);
        connect(b, &QPushButton::clicked, this, action);
        _file_buttons << b;
        return b;
    };
    const auto pick_open = [this](const QString& title) {
        return QFileDialog::getOpenFileName(this, title);
    };
    auto* column = new QVBoxLayout;
    column->addWidget(button(tr("&List"), [this] { _xband_worker->list_files(); }));
    column->addWidget(button(tr("&Upload..."), [this, pick_open] {
        const QString path = pick_open(tr("Upload a file to the transmitter"));
        if (!path.isEmpty())
            upload_file(path);
    }));
    column->addWidget(button(tr("Do&wnload..."), [this] {
        const QString name = _chosen_file();
        if (name.isEmpty())
            return;
        const QString path = QFileDialog::getSaveFileName(this, tr("Save %1 as").arg(name), name);
        if (!path.isEmpty())
            download_file(path);
    }));
    column->addWidget(button(tr("&Send"), [this] {
        const QString name = _chosen_file();
        if (!name.isEmpty())
            _xband_worker->send_file(name);
    }));
    column->addWidget(button(tr("&Delete"), [this] { delete_file(); }));
    column->addWidget(button(tr("Delete &all"), [this] { delete_all_files(); }));
    column->addSpacing(12);
    column->addWidget(button(tr("&Transmit mode"), [this] { _xband_worker->set_mode(true); }));
    column->addWidget(button(tr("L&oad mode"), [this] { _xband_worker->set_mode(false); }));
    column->addWidget(button(tr("Update &firmware..."), [this, pick_open] {
        const QString path = pick_open(tr("Firmware file for the transmitter"));
        if (!path.isEmpty())
            update_firmware(path);
    }));
    column->addWidget(button(tr("S&hut down"), [this] { shut_down(); }));
    column->addStretch();
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(_files, 1);
    layout->addLayout(column);
    return page;
}

void xband_widget::_set_controls_enabled(bool enabled)
{
    _set_param_controls_enabled(enabled);
    _btn_refresh->setEnabled(enabled);
    for (QPushButton* b : qAsConst(_file_buttons))
        b->setEnabled(enabled);
}

void xband_widget::_show_report(const xband_full_report_t& report, bool full)
{
    _report->setRowCount(0);
    for (const kq::gui::xband_report_field_t& f : kq::gui::xband_report_fields()) {
        if (!full && !f.in_simple)
            continue;
        const int row = _report->rowCount();
        _report->insertRow(row);
        set_row(_report, row, {f.caption, f.text(report)});
    }
}

void xband_widget::_show_files(const QVector<xband_file_entry_t>& files)
{
    _files->setRowCount(0);
    for (const xband_file_entry_t& e : files) {
        const int row = _files->rowCount();
        _files->insertRow(row);
        set_row(_files, row, {e.name, QString::number(e.size)});
        _files->item(row, 1)->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }
}

void xband_widget::select_file(const QString& name)
{
    const QList<QTableWidgetItem*> found = _files->findItems(name, Qt::MatchExactly);
    for (QTableWidgetItem* item : found) {
        if (item->column() == 0)
            _files->selectRow(item->row());
    }
}

QString xband_widget::_chosen_file() const
{
    const QList<QTableWidgetItem*> chosen = _files->selectedItems();
    for (QTableWidgetItem* item : chosen) {
        if (item->column() == 0)
            return item->text();
    }
    return {};
}

bool xband_widget::_ask(const QString& title, const QString& question)
{
    return QMessageBox::question(this, title, question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

// A local file the transmitter can take: readable, of a size it can hold,
// under a name it accepts. False, with the reason shown, when not.
bool xband_widget::_read_local(const QString& path, QByteArray& bytes)
{
    const QString bad_name = kq::gui::xband_transfer::name_problem(QFileInfo(path).fileName());
    QString problem =
        bad_name.isEmpty() ? QString() : tr("cannot upload %1: %2").arg(path, bad_name);
    if (problem.isEmpty()) {
        try {
            bytes = kq::gui::local_file::read_whole(path, kq::gui::xband_transfer::max_size);
            return true;
        } catch (const kq::gui::local_file_error& e) {
            problem = QString::fromStdString(e.what());
        }
    }
    _log(log_item::ERROR, problem);
    QMessageBox::warning(this, tr("Upload"), problem);
    return false;
}

void xband_widget::upload_file(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    QByteArray bytes;
    if (!_read_local(path, bytes))
        return;
    if (!_files->findItems(name, Qt::MatchExactly).isEmpty() &&
        !_ask(tr("Upload"), tr("Replace %1 on the transmitter?").arg(name)))
        return;
    _xband_worker->upload(bytes, name);
}

void xband_widget::download_file(const QString& path)
{
    const QString name = _chosen_file();
    if (!name.isEmpty())
        _xband_worker->download(name, path);
}

void xband_widget::delete_file()
{
    const QString name = _chosen_file();
    if (!name.isEmpty() && _ask(tr("Delete"), tr("Delete %1 on the transmitter?").arg(name)))
        _xband_worker->delete_file(name);
}

void xband_widget::delete_all_files()
{
    if (_ask(tr("Delete all"), tr("Delete every file on the transmitter?")))
        _xband_worker->delete_all_files();
}

void xband_widget::update_firmware(const QString& path)
{
    QByteArray bytes;
    if (!_read_local(path, bytes))
        return;
    if (_ask(tr("Update firmware"),
             tr("Replace the transmitter's firmware with %1?").arg(QFileInfo(path).fileName())))
        _xband_worker->update_firmware(bytes, QFileInfo(path).fileName());
}

void xband_widget::shut_down()
{
    if (_ask(tr("Shut down"), tr("Switch the transmitter off?")))
        _xband_worker->shutdown();
}

} // namespace radcfg
