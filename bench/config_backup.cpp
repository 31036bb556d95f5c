// A backup of every transceiver parameter through both relays, the links
// paced as the hardware would (serial 115200 baud, radio "2GFSK-9600-2400"):
// the seconds it takes and the commands it sends to the transceiver, against
// the least it can send (one read per command the parameters need, the
// status word once). The relays' set-up is counted apart.

#include "bench_support.h"
#include "panelkit/connection_route.h"
#include "panelkit/uhf_config.h"
#include "satcmd/factory.h"
#include "satcmd/uhf_module.h"
#include "satellite.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QSet>

#include <cstdio>
#include <memory>

using namespace kq::api::proto;

// The route is a QLinkedList.
QT_WARNING_DISABLE_DEPRECATED

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("kq.*.debug=false"));

    kq::satsim::satellite sat;
    sat.set_pacing(true);
    factory f;
    media::settings_t s;
    s.port_name = sat.port_name();
    std::unique_ptr<media> port(f.create_media(factory::media_serial_port, s));
    kq::gui::route_choice_t choice;
    choice.rf_mode = rf_mode_9600_2400;
    connect_props_t props;
    props.route = kq::gui::build_route(kq::gui::connection_xhf_xhf, choice);
    std::unique_ptr<kq_module> base(
        f.create_module(module_type_uhf, factory::proto_kqttc, port.get(), props));
    auto& uhf = dynamic_cast<uhf_module&>(*base);
    module_config_t c;
    c.timeout_s = c.timeout_m = c.timeout_l = 10000; // the paced radio is slow; no repeats
    uhf.set_module_config(c);

    // Every command sent, by its text ("KQ+R2302 ..."): to the configured
    // transceiver or to the relay.
    QStringList to_target;
    int to_relay = 0;
    const QString target = QStringLiteral("KQ+R%1")
                               .arg(props.route.last().dev_addr, 2, 16, QLatin1Char('0'))
                               .toUpper();
    QObject::connect(base.get(), &kq_module::on_media_debug,
                     [&](flow_direction_e fd, const QString& line) {
                         if (fd != flow_sent || !line.startsWith(QLatin1String("KQ+")))
                             return;
                         if (line.startsWith(target))
                             to_target << line.left(target.size() + 2);
                         else
                             ++to_relay;
                     });
    QElapsedTimer t;
    t.start();
    uhf.connect();
    const int setup = to_relay + to_target.size();
    to_target.clear();
    to_relay = 0;
    const kq::gui::param_snapshot snapshot = kq::gui::uhf_config::backup(uhf);
    const double seconds = t.nsecsElapsed() / 1e9;
    uhf.disconnect();

    const int distinct = QSet<QString>(to_target.begin(), to_target.end()).size();
    std::printf("config_backup: %d parameters and %d status values through two relays, paced\n",
                int(snapshot.parameters.size()), int(snapshot.status.size()));
    std::printf("  %.1f s, %d commands to the transceiver (%d distinct), %d to the relay, %d "
                "for the route's set-up\n",
                seconds, int(to_target.size()), distinct, to_relay, setup);
    kq::bench::figure("config backup, commands per read needed",
                      double(to_target.size()) / std::max(1, distinct), "", true, 1.0);
    return snapshot.parameters.isEmpty() ? 1 : 0;
}
