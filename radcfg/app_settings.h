#pragma once

#include <QString>
#include <QVariant>
#include <QVector>

namespace radcfg {

extern const char* const version_string;

// One persistent setting with its first-start default.
struct setting_default_t
{
    QString key;
    QVariant value;
};

// The settings and their defaults in the order first start writes them.
QVector<setting_default_t> default_settings();

// Writes the default of every key the store lacks; returns how many were
// written. The log folder is created first; if it cannot be, its key stays
// unwritten.
int write_default_settings();

// The default log folder: the application data location and "Logs".
QString default_log_location();

// Opens "common/log_location" in the desktop's file browser.
void open_log_folder();

} // namespace radcfg
