#include "about_dialog.h"

#include "app_settings.h"
#include "ui_about_dialog.h"

namespace radcfg {

about_dialog::about_dialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::about_dialog>())
{
    ui->setupUi(this);
    ui->label_version->setText(tr("Version ") + QString::fromLatin1(version_string));
}

about_dialog::~about_dialog() = default;

} // namespace radcfg
