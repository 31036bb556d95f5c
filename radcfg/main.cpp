// radcfg: the configurator of the satellite's radio and computer modules.

#include "app_settings.h"
#include "connect_dialog.h"
#include "main_window.h"
#include "meta_types.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLoggingCategory>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quorvane"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("quorvane.example"));
    QCoreApplication::setApplicationName(QStringLiteral("kqconf"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(radcfg::version_string));
    // Protocol traces are for developers; QT_LOGGING_RULES turns them on.
    QLoggingCategory::setFilterRules(QStringLiteral("kq.*.debug=false"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Configurator of the satellite's UHF transceiver and on-board computer."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption port_option(
        QStringLiteral("port"),
        QStringLiteral("Also list this serial device in the connection dialog (a pseudo-terminal "
                       "or a /dev/serial/by-id link the system's port list does not show); "
                       "repeatable."),
        QStringLiteral("PATH"));
    parser.addOption(port_option);
    parser.process(app);
    radcfg::connect_dialog::set_extra_ports(parser.values(port_option));

    radcfg::write_default_settings();
    radcfg::register_meta_types();

    radcfg::MainWindow window;
    window.show();
    return QApplication::exec();
}
