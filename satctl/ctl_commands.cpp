#include "ctl_commands.h"

#include "panelkit/uhf_params.h"

namespace kq::ctl {

using gui::uhf_param_t;
using gui::uhf_params;

const command_t* find_command(const QString& name)
{
    for (const auto* group :
         {&uhf_commands(), &config_commands(), &obc_commands(), &device_commands()}) {
        for (const command_t& c : *group) {
            if (c.name == name)
                return &c;
        }
    }
    return nullptr;
}

QString commands_help()
{
    QString text = QStringLiteral("\nCommands:\n");
    const QVector<QPair<QString, const QVector<command_t>*>> groups{
        {QStringLiteral("UHF transceiver (--type xhf, xhf-xhf)"), &uhf_commands()},
        {QStringLiteral("UHF configuration files (--type xhf, xhf-xhf)"), &config_commands()},
        {QStringLiteral("On-board computer (--type xhf-xhf-obc, obc)"), &obc_commands()},
        {QStringLiteral("Beacons, free text, monitor, FSPS (its own port), X-band (its own port)"),
         &device_commands()}};
    for (const auto& group : groups) {
        text += QStringLiteral("  %1\n").arg(group.first);
        for (const command_t& c : *group.second)
            text += QStringLiteral("    %1\n        %2\n").arg(c.synopsis, c.summary);
    }
    text += QStringLiteral("\nUHF parameters for get and set:\n");
    for (const uhf_param_t& p : uhf_params())
        text += QStringLiteral("    %1  %2 (%3)\n").arg(p.name, -20).arg(p.caption, p.help);
    text += QStringLiteral(
        "\nExit codes: 0 done, 1 failed, 2 bad command line or value, 3 port error,\n"
        "4 no answer, 5 refused by the device, 6 local file error, 7 contents differ,\n"
        "130 interrupted.\n");
    return text;
}

void expect_arguments(const ctl_options& o, int minimum, int maximum)
{
    const int n = o.arguments.size();
    if (n < minimum || (maximum >= 0 && n > maximum)) {
        const command_t* c = find_command(o.command);
        throw ctl_error(
            exit_usage,
            QStringLiteral("usage: satctl [options] %1").arg(c ? c->synopsis : o.command));
    }
}

} // namespace kq::ctl
