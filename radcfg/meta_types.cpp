#include "meta_types.h"

#include "panelkit/param_file.h"
#include "panelkit/sat_worker.h"
#include "satcmd/error_descriptor.h"
#include "satcmd/module_types.h"
#include "satcmd/scw_properties.h"
#include "satcmd/xband_types.h"

#include <QMetaType>
#include <QPair>
#include <QVariant>
#include <QVector>

namespace radcfg {

using namespace kq::api::proto;
using kq::gui::sat_worker;

void register_meta_types()
{
    qRegisterMetaType<uint8_t>("uint8_t");
    qRegisterMetaType<uint16_t>("uint16_t");
    qRegisterMetaType<uint32_t>("uint32_t");
    qRegisterMetaType<scw_properties>("scw_properties");
    // The UHF panel's parameter ids are 32-bit unsigned numbers.
    qRegisterMetaType<uint32_t>("uhf_worker::uhf_parameter");
    qRegisterMetaType<QVector<uint32_t>>("QVector<uhf_worker::uhf_parameter>");
    qRegisterMetaType<QVector<QPair<uint32_t, QVariant>>>(
        "QVector<QPair<uhf_worker::uhf_parameter,QVariant> >");
    qRegisterMetaType<sat_worker::operation_type_e>("operation_type_e");
    qRegisterMetaType<sat_worker::operation_status_e>("operation_status_e");
    qRegisterMetaType<QByteArray>("QByteArray&");
    qRegisterMetaType<sat_worker::connection_state_e>("connection_state_e");
    qRegisterMetaType<flow_direction_e>("flow_direction_e");
    qRegisterMetaType<error_descriptor>("error_descriptor");
    qRegisterMetaType<kq::gui::param_snapshot>("kq::gui::param_snapshot");
    qRegisterMetaType<QVector<uint32_t>>("QVector<uint32_t>");
    qRegisterMetaType<QVector<QPair<uint32_t, QVariant>>>("QVector<QPair<uint32_t, QVariant>>");
    qRegisterMetaType<xband_full_report_t>();
    qRegisterMetaType<QVector<xband_file_entry_t>>();
    qRegisterMetaType<QVector<double>>();
}

} // namespace radcfg
