#pragma once

#include "panelkit/uhf_config.h"

#include <QDialog>

namespace radcfg {

// The differences between the device and a configuration file, one row
// per parameter: its name, the device's value and the file's.
class compare_dialog : public QDialog
{
    Q_OBJECT

public:
    compare_dialog(QWidget* parent, const QString& file,
                   const QVector<kq::gui::param_difference>& differences);
};

} // namespace radcfg
