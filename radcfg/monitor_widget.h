#pragma once

#include "panelkit/monitor_sampler.h"

#include <QDateTime>
#include <QVector>
#include <QWidget>
#include <QtCharts/QChartGlobal>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QListWidget;
class QPushButton;
class QSpinBox;

// Qt 5 keeps the charts in a namespace of their own; Qt 6 in Qt's.
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
QT_CHARTS_BEGIN_NAMESPACE
#else
QT_BEGIN_NAMESPACE
#endif
class QChart;
class QChartView;
class QLineSeries;
class QValueAxis;
#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
QT_CHARTS_END_NAMESPACE
#else
QT_END_NAMESPACE
#endif

namespace radcfg {

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
QT_CHARTS_USE_NAMESPACE
#endif

class cp_worker;

// Values of a module plotted over time: the user picks the series, the
// interval and the time window shown; Start runs the worker's monitor until
// Pause; every sample is kept and can be exported as CSV (the driver's
// monitor writes the same columns).
class monitor_widget : public QWidget
{
    Q_OBJECT

public:
    monitor_widget(QWidget* parent, kq::gui::monitor_sampler::device_e device, cp_worker* worker);
    ~monitor_widget() override;

    bool running() const { return _running; }
    int sample_count() const { return _times.size(); }
    QStringList recorded_names() const { return _names; }
    // The recorded samples as CSV; an empty string with `error` set when
    // the file cannot be written.
    bool export_csv(const QString& path, QString* error = nullptr) const;

public slots:
    void start();
    void pause();

signals:
    void message(const QString& text);

private slots:
    void _on_sampled(const QDateTime& time, const QVector<double>& values, const QString& problem);
    void _on_export_clicked();

private:
    QStringList _checked_names() const;
    void _reset_series(const QStringList& names);
    void _update_axes();
    void _set_running(bool on);

    kq::gui::monitor_sampler::device_e _device;
    cp_worker* _worker;
    QListWidget* _choice;
    QDoubleSpinBox* _interval;
    QSpinBox* _window;
    QPushButton* _start;
    QPushButton* _pause;
    QPushButton* _clear;
    QPushButton* _export;
    QLabel* _status;
    QChart* _chart;
    QChartView* _view;
    QValueAxis* _x; // seconds since the recording began
    QValueAxis* _y;
    QVector<QLineSeries*> _series;
    QStringList _names;
    QVector<QDateTime> _times;
    QVector<QVector<double>> _values;
    bool _running = false;
};

} // namespace radcfg
