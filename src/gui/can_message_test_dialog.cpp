// SPDX-License-Identifier: MIT
#include "can_message_test_dialog.h"

#include "qt_lists.h"
#include "ui_canmessagetestdialog.h"

namespace nalvexa {

CCANMessageTestDlg::CCANMessageTestDlg(IEngine& engine, IDialogHost& host, EngineEvents& events, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CanMessageTestDialog>()), logic_(engine, host)
{
    ui_->setupUi(this);
    // Fields as wide as what they hold, so that the dialog stays small.
    const int digits = fontMetrics().horizontalAdvance("0000") + 12;
    for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->setMaximumWidth(2 * digits);
    for (int i = 0; i < 8; ++i) Field(CanMessageTestLogic::kData0 + i)->setMaximumWidth(digits);
    adjustSize();
    ui_->idEdit->setText(QString::fromStdString(logic_.idText));
    ui_->lengthEdit->setText(QString::fromStdString(logic_.lengthText));
    for (int i = 0; i < 8; ++i)
        Field(CanMessageTestLogic::kData0 + i)->setText(QString::fromStdString(logic_.dataText[static_cast<size_t>(i)]));
    connect(&events, &EngineEvents::testFrameRead, this, [this](uint32_t result, const CanMessage& frame) {
        const size_t before = logic_.lines().size();
        logic_.FrameRead(result, frame);
        for (size_t i = before; i < logic_.lines().size(); ++i)
            ui_->receiveList->addItem(QString::fromStdString(logic_.lines()[i]));
    });
    connect(ui_->writeButton, &QPushButton::clicked, this, &CCANMessageTestDlg::OnWrite);
    connect(ui_->readButton, &QPushButton::clicked, this, &CCANMessageTestDlg::OnRead);
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

CCANMessageTestDlg::~CCANMessageTestDlg() = default;

QLineEdit* CCANMessageTestDlg::Field(int field)
{
    if (field == CanMessageTestLogic::kId) return ui_->idEdit;
    if (field == CanMessageTestLogic::kLength) return ui_->lengthEdit;
    return findChild<QLineEdit*>(QString("data%1Edit").arg(field - CanMessageTestLogic::kData0));
}

void CCANMessageTestDlg::OnWrite()
{
    logic_.idText = ui_->idEdit->text().toStdString();
    logic_.lengthText = ui_->lengthEdit->text().toStdString();
    for (int i = 0; i < 8; ++i)
        logic_.dataText[static_cast<size_t>(i)] = Field(CanMessageTestLogic::kData0 + i)->text().toStdString();
    if (logic_.Write()) return;
    QLineEdit* field = Field(logic_.refused());
    field->setFocus();
    field->selectAll();
}

}  // namespace nalvexa
