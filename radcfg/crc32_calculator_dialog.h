#pragma once

#include <QDialog>

#include <memory>

namespace radcfg {

namespace Ui {
class crc32_calculator_dialog;
}

// The CRC-32 of a typed text, as the protocol protects its lines.
class crc32_calculator_dialog : public QDialog
{
    Q_OBJECT

public:
    explicit crc32_calculator_dialog(QWidget* parent);
    ~crc32_calculator_dialog() override;

private slots:
    void _on_pb_calculate_crc32_clicked();

private:
    std::unique_ptr<Ui::crc32_calculator_dialog> ui;
};

} // namespace radcfg
