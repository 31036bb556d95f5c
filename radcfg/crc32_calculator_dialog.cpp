#include "crc32_calculator_dialog.h"

#include "ui_crc32_calculator_dialog.h"

#include "satcmd/checksum.h"

namespace radcfg {

crc32_calculator_dialog::crc32_calculator_dialog(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::crc32_calculator_dialog>())
{
    ui->setupUi(this);
    // Every control is connected here by hand: nothing by slot names.
    connect(ui->pb_calculate_crc32, &QAbstractButton::clicked, this,
            &crc32_calculator_dialog::_on_pb_calculate_crc32_clicked);
}

crc32_calculator_dialog::~crc32_calculator_dialog() = default;

void crc32_calculator_dialog::_on_pb_calculate_crc32_clicked()
{
    const uint32_t crc =
        kq::api::proto::checksum::qcrc32(ui->tb_input->toPlainText(), 0, 0x7FFFFFFF);
    ui->tb_crc32->setText(QStringLiteral("0x") +
                          QStringLiteral("%1").arg(crc, 8, 16, QLatin1Char('0')).toUpper());
}

} // namespace radcfg
