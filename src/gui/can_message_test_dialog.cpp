// SPDX-License-Identifier: MIT
#include "can_message_test_dialog.h"

#include "field_check.h"
#include "ui_canmessagetestdialog.h"

namespace nalvexa {

CCANMessageTestDlg::CCANMessageTestDlg(CCANDriver& can, IUserNotifier& notifier, QWidget* parent)
    : QDialog(parent), can_(can), notifier_(notifier), ui_(std::make_unique<Ui::CanMessageTestDialog>())
{
    // While it is open, every frame on the bus can be read here.
    can_.SetHearEverything(true);
    ui_->setupUi(this);
    // Fields as wide as what they hold, so that the dialog stays small.
    const int digits = fontMetrics().horizontalAdvance("0000") + 12;
    for (QLineEdit* edit : findChildren<QLineEdit*>()) edit->setMaximumWidth(2 * digits);
    for (QLineEdit* d : findChildren<QLineEdit*>(QRegularExpression("^data[0-7]Edit$"))) d->setMaximumWidth(digits);
    adjustSize();
    ui_->idEdit->setText("0");
    ui_->lengthEdit->setText("0");
    for (QLineEdit* d : findChildren<QLineEdit*>(QRegularExpression("^data[0-7]Edit$"))) d->setText("0");
    connect(ui_->writeButton, &QPushButton::clicked, this, &CCANMessageTestDlg::OnWrite);
    connect(ui_->readButton, &QPushButton::clicked, this, &CCANMessageTestDlg::OnRead);
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

CCANMessageTestDlg::~CCANMessageTestDlg() { can_.SetHearEverything(false); }

void CCANMessageTestDlg::OnWrite()
{
    // Nothing goes out unless every field was accepted: a frame made of old or
    // default values (identifier 0 is an NMT command to every drive) is unsafe.
    int32_t id = 0;
    if (!ReadRangeField(ui_->idEdit, 0, kMaxStandardId, id, notifier_)) return;
    if (!ReadRangeField(ui_->lengthEdit, 0, 255, length_, notifier_)) return;
    for (int i = 0; i < 8; ++i)
        if (!ReadRangeField(findChild<QLineEdit*>(QString("data%1Edit").arg(i)), 0, 255, data_[i], notifier_)) return;
    id_ = static_cast<uint32_t>(id);
    CanMessage frame;
    frame.id = id_;
    frame.type = 0;
    frame.length = static_cast<uint8_t>(length_);  // as entered: the library refuses more than 8
    for (int i = 0; i < 8; ++i) frame.data[i] = static_cast<uint8_t>(data_[i]);
    can_.WriteTestFrame(frame, "Error executing OnWrite");
}

void CCANMessageTestDlg::OnRead()
{
    CanMessage frame;
    const uint32_t result = can_.ReadTestFrame(frame);
    if (result == can::kOk) {
        ui_->receiveList->addItem("Message Received OK");
        ui_->receiveList->addItem("ID = " + QString("%1").arg(uint32_t{frame.id}, 6, 16, QChar('0')).toUpper());
        QString data = "Data = ";
        for (uint8_t b : frame.data) data += QString("%1 ").arg(b, 2, 16, QChar('0')).toUpper();
        ui_->receiveList->addItem(data);
    } else if (result == can::kQueueEmpty) {
        ui_->receiveList->addItem("Receive Queue Empty");
    } else {
        ui_->receiveList->addItem("Read Error");
    }
}

}  // namespace nalvexa
