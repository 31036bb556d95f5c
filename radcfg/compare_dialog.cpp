#include "compare_dialog.h"

#include "panelkit/uhf_params.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

namespace radcfg {

namespace {

QString shown(const QJsonValue& v)
{
    return v.isUndefined() ? QStringLiteral("\u2014") : kq::gui::value_text(v);
}

} // namespace

compare_dialog::compare_dialog(QWidget* parent, const QString& file,
                               const QVector<kq::gui::param_difference>& differences)
    : QDialog(parent)
{
    setWindowTitle(tr("Compare"));
    auto* layout = new QVBoxLayout(this);
    auto* summary = new QLabel(this);
    summary->setObjectName(QStringLiteral("lbl_summary"));
    summary->setText(differences.isEmpty() ? tr("The device holds the values of %1.").arg(file)
                                           : tr("%1 values of the device differ from %2:")
                                                 .arg(differences.size())
                                                 .arg(QFileInfo(file).fileName()));
    layout->addWidget(summary);
    auto* table = new QTableWidget(differences.size(), 3, this);
    table->setObjectName(QStringLiteral("tbl_differences"));
    table->setHorizontalHeaderLabels({tr("Parameter"), tr("Device"), tr("File")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    for (int row = 0; row < differences.size(); ++row) {
        const kq::gui::param_difference& d = differences.at(row);
        const kq::gui::uhf_param_t* p = kq::gui::find_uhf_param(d.name);
        table->setItem(row, 0, new QTableWidgetItem(p ? p->caption : d.name));
        table->setItem(row, 1, new QTableWidgetItem(shown(d.here)));
        table->setItem(row, 2, new QTableWidgetItem(shown(d.there)));
    }
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeColumnsToContents();
    table->setVisible(!differences.isEmpty());
    layout->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(560, 360);
}

} // namespace radcfg
