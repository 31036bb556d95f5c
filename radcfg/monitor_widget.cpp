#include "monitor_widget.h"

#include "cp_worker.h"
#include "panelkit/local_file.h"
#include "panelkit/local_file_error.h"

#include <QChart>
#include <QChartView>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStandardPaths>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <limits>

namespace radcfg {

using kq::gui::monitor_sampler;

namespace {

QStringList default_names(monitor_sampler::device_e device)
{
    return device == monitor_sampler::device_e::uhf
               ? QStringList{QStringLiteral("rssi")}
               : QStringList{QStringLiteral("board-temp"), QStringLiteral("pa-temp")};
}

QString settings_key(monitor_sampler::device_e device)
{
    return device == monitor_sampler::device_e::uhf ? QStringLiteral("monitor/uhf_series")
                                                    : QStringLiteral("monitor/xband_series");
}

} // namespace

monitor_widget::monitor_widget(QWidget* parent, monitor_sampler::device_e device, cp_worker* worker)
    : QWidget(parent)
    , _device(device)
    , _worker(worker)
    , _choice(new QListWidget(this))
    , _interval(new QDoubleSpinBox(this))
    , _window(new QSpinBox(this))
    , _start(new QPushButton(tr("&Start"), this))
    , _pause(new QPushButton(tr("&Pause"), this))
    , _clear(new QPushButton(tr("C&lear"), this))
    , _export(new QPushButton(tr("&Export CSV..."), this))
    , _status(new QLabel(this))
    , _chart(new QChart)
    , _view(new QChartView(_chart, this))
    , _x(new QValueAxis(_chart))
    , _y(new QValueAxis(_chart))
{
    const QStringList checked =
        QSettings().value(settings_key(device), default_names(device)).toStringList();
    for (const monitor_sampler::series_t& s : monitor_sampler::all_series()) {
        if (s.device != device)
            continue;
        auto* item = new QListWidgetItem(
            s.unit.isEmpty() ? s.caption : QStringLiteral("%1 (%2)").arg(s.caption, s.unit),
            _choice);
        item->setData(Qt::UserRole, s.name);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checked.contains(s.name) ? Qt::Checked : Qt::Unchecked);
    }
    _choice->setMaximumWidth(220);
    _interval->setRange(0.2, 3600);
    _interval->setDecimals(1);
    _interval->setSuffix(tr(" s"));
    _interval->setValue(1.0);
    _window->setRange(10, 86400);
    _window->setSuffix(tr(" s"));
    _window->setValue(300);
    _x->setLabelFormat(QStringLiteral("%.0f"));
    _x->setTitleText(tr("seconds since the start"));
    _chart->addAxis(_x, Qt::AlignBottom);
    _chart->addAxis(_y, Qt::AlignLeft);
    _chart->legend()->setAlignment(Qt::AlignTop);
    _view->setRenderHint(QPainter::Antialiasing);
    _view->setMinimumHeight(220);

    auto* form = new QFormLayout;
    form->addRow(tr("Interval"), _interval);
    form->addRow(tr("Time window"), _window);
    auto* side = new QVBoxLayout;
    side->addWidget(new QLabel(tr("Values"), this));
    side->addWidget(_choice, 1);
    side->addLayout(form);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* b : {_start, _pause, _clear, _export})
        buttons->addWidget(b);
    side->addLayout(buttons);
    side->addWidget(_status);
    auto* top = new QHBoxLayout(this);
    top->addLayout(side);
    top->addWidget(_view, 1);

    connect(_start, &QPushButton::clicked, this, &monitor_widget::start);
    connect(_pause, &QPushButton::clicked, this, &monitor_widget::pause);
    connect(_clear, &QPushButton::clicked, this, [this] { _reset_series(_names); });
    connect(_export, &QPushButton::clicked, this, &monitor_widget::_on_export_clicked);
    connect(_window, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &monitor_widget::_update_axes);
    connect(_worker, &cp_worker::sampled, this, &monitor_widget::_on_sampled);
    connect(_worker, &cp_worker::on_operation_control, this,
            [this](kq::gui::sat_worker::operation_type_e op,
                   kq::gui::sat_worker::operation_status_e status) {
                if (op == kq::gui::sat_worker::MONITOR && status != kq::gui::sat_worker::begin)
                    _set_running(false);
            });
    _set_running(false);
}

monitor_widget::~monitor_widget()
{
    QSettings().setValue(settings_key(_device), _checked_names());
}

QStringList monitor_widget::_checked_names() const
{
    QStringList names;
    for (int i = 0; i < _choice->count(); ++i) {
        if (_choice->item(i)->checkState() == Qt::Checked)
            names << _choice->item(i)->data(Qt::UserRole).toString();
    }
    return names;
}

void monitor_widget::start()
{
    const QStringList names = _checked_names();
    if (names.isEmpty()) {
        _status->setText(tr("Tick the values to watch."));
        return;
    }
    if (names != _names)
        _reset_series(names); // other columns: a new recording
    _set_running(true);
    emit _worker->monitor(names, int(std::lround(_interval->value() * 1000)));
}

void monitor_widget::pause()
{
    if (_running)
        _worker->stop();
}

void monitor_widget::_set_running(bool on)
{
    _running = on;
    _start->setEnabled(!on);
    _pause->setEnabled(on);
    _choice->setEnabled(!on);
    _interval->setEnabled(!on);
    _clear->setEnabled(!on);
    _export->setEnabled(!on && !_times.isEmpty());
    _status->setText(on ? tr("Sampling every %1 s").arg(_interval->value())
                        : tr("%n sample(s) recorded", nullptr, _times.size()));
}

void monitor_widget::_reset_series(const QStringList& names)
{
    for (QLineSeries* s : qAsConst(_series)) {
        _chart->removeSeries(s);
        delete s;
    }
    _series.clear();
    _names = names;
    _times.clear();
    _values.clear();
    const monitor_sampler sampler(names);
    for (const monitor_sampler::series_t& s : sampler.chosen()) {
        auto* line = new QLineSeries(_chart);
        line->setName(s.unit.isEmpty() ? s.caption
                                       : QStringLiteral("%1 (%2)").arg(s.caption, s.unit));
        _chart->addSeries(line);
        line->attachAxis(_x);
        line->attachAxis(_y);
        _series.append(line);
    }
    _update_axes();
    _set_running(_running);
}

void monitor_widget::_on_sampled(const QDateTime& time, const QVector<double>& values,
                                 const QString& problem)
{
    if (!_running || values.size() != _series.size())
        return; // a sample of an earlier choice
    _times.append(time);
    _values.append(values);
    for (int i = 0; i < values.size(); ++i) {
        if (!std::isnan(values.at(i)))
            _series.at(i)->append(_times.first().msecsTo(time) / 1000.0, values.at(i));
    }
    if (!problem.isEmpty())
        emit message(tr("monitor: %1").arg(problem));
    _update_axes();
    _status->setText(
        tr("Sampling every %1 s; %n sample(s)", nullptr, _times.size()).arg(_interval->value()));
}

// The last `window` seconds, and the values within them with a margin.
void monitor_widget::_update_axes()
{
    const double span = _window->value();
    const double end = _times.isEmpty() ? 0.0 : _times.first().msecsTo(_times.last()) / 1000.0;
    _x->setRange(std::max(0.0, end - span), std::max(span, end));
    if (!_times.isEmpty())
        _x->setTitleText(tr("seconds since %1 UTC")
                             .arg(_times.first().toUTC().toString(QStringLiteral("HH:mm:ss"))));
    const QDateTime first =
        _times.isEmpty() ? QDateTime() : _times.last().addSecs(-_window->value());
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    // Rows are in time order: only the newest, back to the window's start.
    for (int row = _times.size() - 1; row >= 0 && _times.at(row) >= first; --row) {
        for (const double v : _values.at(row)) {
            if (std::isnan(v))
                continue;
            low = std::min(low, v);
            high = std::max(high, v);
        }
    }
    if (low > high) {
        _y->setRange(0, 1);
        return;
    }
    const double margin = std::max((high - low) * 0.05, 0.5);
    _y->setRange(low - margin, high + margin);
}

bool monitor_widget::export_csv(const QString& path, QString* error) const
{
    if (_names.isEmpty()) {
        if (error)
            *error = tr("nothing recorded");
        return false;
    }
    const monitor_sampler sampler(_names);
    QByteArray text = sampler.csv_header().toUtf8() + '\n';
    for (int row = 0; row < _times.size(); ++row)
        text += sampler.csv_row(_times.at(row), _values.at(row)).toUtf8() + '\n';
    try {
        kq::gui::local_file::write_whole(path, text);
        return true;
    } catch (const kq::gui::local_file_error& e) {
        if (error)
            *error = QString::fromStdString(e.what());
        return false;
    }
}

void monitor_widget::_on_export_clicked()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = QFileDialog::getSaveFileName(
        this, tr("Export the recorded values"),
        folder + QStringLiteral("/monitor-%1.csv")
                     .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"))),
        tr("CSV files (*.csv)"));
    if (path.isEmpty())
        return;
    QString error;
    if (export_csv(path, &error))
        emit message(tr("exported %n sample(s) to %1", nullptr, _times.size()).arg(path));
    else
        emit message(tr("cannot write %1: %2").arg(path, error));
}

} // namespace radcfg
