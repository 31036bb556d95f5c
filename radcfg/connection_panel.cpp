#include "connection_panel.h"

#include "app_settings.h"

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace radcfg {

using kq::gui::log_item;
using kq::gui::sat_worker;

namespace {

// Reads and writes nothing: a walk over no ids still connects the route,
// runs the pre- and post-operations and disconnects.
class route_check_worker : public cp_worker
{
public:
    using cp_worker::cp_worker;

protected:
    void _get_param(uint32_t) override {}
    void _set_param(uint32_t, const QVariant&) override {}
};

} // namespace

connection_panel::connection_panel(QWidget* parent, kq::api::proto::kq_module* module,
                                   const QString& kind)
    : QWidget(parent)
    , _worker(new route_check_worker(nullptr, module))
{
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Connection type: %1").arg(kind), this));
    _btn_check = new QPushButton(tr("Check connection"), this);
    _btn_check->setObjectName(QStringLiteral("btn_check"));
    layout->addWidget(_btn_check);
    auto* btn_logs = new QPushButton(tr("&Logs"), this);
    btn_logs->setObjectName(QStringLiteral("btn_open_log_dir"));
    layout->addWidget(btn_logs);
    connect(btn_logs, &QPushButton::clicked, this, [] { open_log_folder(); });
    _log_view = new QListWidget(this);
    layout->addWidget(_log_view, 1);
    _log = std::make_unique<kq::gui::log_controller>(this, QStringLiteral("connection"), _log_view);

    _worker->moveToThread(&_thread);
    connect(&_thread, &QThread::finished, _worker, &QObject::deleteLater);
    connect(_btn_check, &QPushButton::clicked, this, &connection_panel::_on_check);
    connect(_worker, &sat_worker::on_operation_control, this,
            &connection_panel::_on_operation_control);
    connect(_worker, &sat_worker::on_connection_state, this,
            &connection_panel::_on_connection_state);
    connect(_worker, &sat_worker::on_connection_error, this,
            &connection_panel::_on_connection_error);
    _thread.start();
}

connection_panel::~connection_panel()
{
    _worker->stop();
    _thread.quit();
    _thread.wait();
}

void connection_panel::_on_check()
{
    emit _worker->get_params({});
}

void connection_panel::_on_operation_control(sat_worker::operation_type_e op,
                                             sat_worker::operation_status_e status)
{
    _btn_check->setEnabled(status != sat_worker::begin);
    _log->log(log_item::INFO, _texts.get_operation_type_string(op, status));
}

void connection_panel::_on_connection_state(sat_worker::connection_state_e state)
{
    _log->log(log_item::INFO, _texts.get_connection_state_string(state));
}

void connection_panel::_on_connection_error(const kq::api::proto::error_descriptor& error)
{
    _log->log(log_item::ERROR,
              tr("connection error: ") + _texts.get_error_descriptor_string(error));
}

} // namespace radcfg
