// satctl: the configurator's operations from the command line, for scripts
// and test benches.

#include "ctl_commands.h"
#include "interrupt_watcher.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <QJsonObject>

#include <csignal>
#include <cstdio>

using namespace kq::ctl;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The libraries' debug output is for developers; --verbose shows the
    // traffic. QT_LOGGING_RULES still turns it on.
    QLoggingCategory::setFilterRules(QStringLiteral("kq.*.debug=false"));
    // The configurator's settings store: the same command timing.
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("kqconf"));

    // A file-size limit is a write error naming the file, not a silent end.
    std::signal(SIGXFSZ, SIG_IGN);

    ctl_options options;
    try {
        options.parse(QCoreApplication::arguments());
        if (options.version) {
            std::printf("satctl %s\n", KQ_VERSION);
            return exit_ok;
        }
        if (options.help || options.command.isEmpty()) {
            std::printf("%s%s", options.help_text.toLocal8Bit().constData(),
                        commands_help().toLocal8Bit().constData());
            return options.help ? exit_ok : exit_usage;
        }
        const command_t* command = find_command(options.command);
        if (!command)
            throw ctl_error(
                exit_usage,
                QStringLiteral("unknown command '%1' (see satctl --help)").arg(options.command));
        interrupt_watcher::install_handlers();
        const exit_code_e code = command->run(options, ctl_output(options.json));
        return interrupt_watcher::interrupted() && code != exit_ok ? exit_interrupted : code;
    } catch (...) {
        failure_t f = describe_current_exception(options.port);
        if (interrupt_watcher::interrupted())
            f.code = exit_interrupted;
        ctl_output::error(f.line);
        // A script asking for JSON always gets one document to parse.
        if (options.json || QCoreApplication::arguments().contains(QStringLiteral("--json")))
            ctl_output(true).result(
                QJsonObject{{"error", QJsonObject{{"code", int(f.code)}, {"message", f.line}}}},
                {});
        return f.code;
    }
}
