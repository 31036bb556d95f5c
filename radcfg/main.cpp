// radcfg: the configurator of the satellite's radio and computer modules.

#include "app_settings.h"
#include "connect_dialog.h"
#include "main_window.h"
#include "meta_types.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>

#include <cstdio>

int main(int argc, char** argv)
{
    // The command line is read before the window system is touched, so that
    // --help and --version work without a display.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Configurator of the satellite's UHF transceiver and on-board computer."));
    const QCommandLineOption help_option = parser.addHelpOption();
    const QCommandLineOption version_option = parser.addVersionOption();
    const QCommandLineOption port_option(
        QStringLiteral("port"),
        QStringLiteral("Also list this serial device in the connection dialog (a pseudo-terminal "
                       "or a /dev/serial/by-id link the system's port list does not show); "
                       "repeatable."),
        QStringLiteral("PATH"));
    parser.addOption(port_option);
    if (!parser.parse(arguments)) {
        std::fprintf(stderr, "radcfg: %s\n", parser.errorText().toLocal8Bit().constData());
        return 2;
    }
    if (parser.isSet(help_option) || parser.isSet(QStringLiteral("help-all"))) {
        const QCoreApplication core(argc, argv); // the usage line names the program
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version_option)) {
        std::printf("radcfg %s\n", radcfg::version_string);
        return 0;
    }

#if QT_VERSION < QT_VERSION_CHECK(6, 0, 0)
    // Sharp on high-DPI screens: the layout scaled, the icons' @2x pictures
    // taken (Qt 6 does both by itself).
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
#endif
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("quorvane.example"));
    QCoreApplication::setApplicationName(QStringLiteral("kqconf"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(radcfg::version_string));
    // Protocol traces are for developers; QT_LOGGING_RULES turns them on.
    QLoggingCategory::setFilterRules(QStringLiteral("kq.*.debug=false"));
    radcfg::connect_dialog::set_extra_ports(parser.values(port_option));

    radcfg::write_default_settings();
    radcfg::register_meta_types();

    radcfg::MainWindow window;
    window.show();
    return QApplication::exec();
}
