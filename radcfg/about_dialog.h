#pragma once

#include <QDialog>

#include <memory>

namespace radcfg {

namespace Ui {
class about_dialog;
}

class about_dialog : public QDialog
{
    Q_OBJECT

public:
    explicit about_dialog(QWidget* parent);
    ~about_dialog() override;

private:
    std::unique_ptr<Ui::about_dialog> ui;
};

} // namespace radcfg
