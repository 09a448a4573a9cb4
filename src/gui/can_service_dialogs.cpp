// SPDX-License-Identifier: MIT
#include "can_service_dialogs.h"

#include "qt_lists.h"
#include "ui_caninquirelssdialog.h"
#include "ui_canlssdialog.h"
#include "ui_cannmtdialog.h"
#include "ui_cansetbaudratedialog.h"
#include "ui_cansetnodeiddialog.h"

namespace nalvexa {

CCANNmtDlg::CCANNmtDlg(IEngine& engine, IDialogHost& host, EngineEvents& events, const CanState& can,
                       QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CanNmtDialog>()), logic_(engine, host, can)
{
    ui_->setupUi(this);
    const std::pair<QPushButton*, NmtCommand> buttons[] = {
        {ui_->startButton, NmtCommand::Start},
        {ui_->stopButton, NmtCommand::Stop},
        {ui_->preOperationalButton, NmtCommand::EnterPreOperational},
        {ui_->resetNodeButton, NmtCommand::ResetNode},
        {ui_->resetCommunicationButton, NmtCommand::ResetCommunication}};
    for (auto [button, command] : buttons)
        connect(button, &QPushButton::clicked, this, [this, command = command] { logic_.Press(command); });
    connect(&events, &EngineEvents::changed, this, [this](const EngineState& state) {
        if (state.can) logic_.Update(*state.can);
    });
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

CCANNmtDlg::~CCANNmtDlg() = default;

CCANLssDlg::CCANLssDlg(IEngine& engine, IDialogHost& host, EngineEvents& events, const CanState& can,
                       DialogRunner run, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CanLssDialog>()), logic_(host)
{
    ui_->setupUi(this);
    // Each procedure's dialog starts from the settings as they are when it opens.
    auto current = std::make_shared<CanState>(can);
    connect(&events, &EngineEvents::changed, this, [current](const EngineState& state) {
        if (state.can) *current = *state.can;
    });
    connect(ui_->setNodeIdButton, &QPushButton::clicked, this, [this, &engine, &host, current, run] {
        if (!logic_.OpenSetNodeId()) return;
        CCANSetNodeIdDlg dialog(engine, host, *current, this);
        run(dialog);
    });
    connect(ui_->setBaudrateButton, &QPushButton::clicked, this, [this, &engine, current, run] {
        if (!logic_.OpenSetBitRate()) return;
        CCANSetBaudrateDlg dialog(engine, *current, this);
        run(dialog);
    });
    connect(ui_->inquireButton, &QPushButton::clicked, this, [this, &engine, &events, run] {
        if (!logic_.OpenInquire()) return;
        CCANInquireLssDlg dialog(engine, events, this);
        run(dialog);
    });
    connect(ui_->closeButton, &QPushButton::clicked, this, &QDialog::accept);
}

CCANLssDlg::~CCANLssDlg() = default;

CCANSetNodeIdDlg::CCANSetNodeIdDlg(IEngine& engine, IDialogHost& host, const CanState& can, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CanSetNodeIdDialog>()), logic_(engine, host, can)
{
    ui_->setupUi(this);
    ui_->nodeIdEdit->setText(QString::fromStdString(logic_.nodeIdText));
    ui_->nodeIdEdit->setFocus();
    connect(ui_->okButton, &QPushButton::clicked, this, &CCANSetNodeIdDlg::OnOk);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CCANSetNodeIdDlg::~CCANSetNodeIdDlg() = default;

void CCANSetNodeIdDlg::OnOk()
{
    logic_.nodeIdText = ui_->nodeIdEdit->text().toStdString();
    logic_.serialText = ui_->serialEdit->text().toStdString();
    switch (logic_.Ok()) {
    case Outcome::Accept: return accept();
    case Outcome::Reject: return reject();
    case Outcome::Stay: break;
    }
    QLineEdit* field = logic_.refused() == CanSetNodeIdLogic::kNodeId ? ui_->nodeIdEdit : ui_->serialEdit;
    field->setFocus();
    field->selectAll();
}

CCANSetBaudrateDlg::CCANSetBaudrateDlg(IEngine& engine, const CanState& can, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CanSetBaudrateDialog>()), logic_(engine, can)
{
    ui_->setupUi(this);
    ui_->rateList->addItems(QStrings(CanSetBitRateLogic::kRateNames));
    ui_->rateList->setCurrentIndex(logic_.rate);
    connect(ui_->okButton, &QPushButton::clicked, this, &CCANSetBaudrateDlg::OnOk);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CCANSetBaudrateDlg::~CCANSetBaudrateDlg() = default;

void CCANSetBaudrateDlg::OnOk()
{
    logic_.rate = ui_->rateList->currentIndex();
    if (logic_.Ok()) accept();
}

CCANInquireLssDlg::CCANInquireLssDlg(IEngine& engine, EngineEvents& events, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::CanInquireLssDialog>()), logic_(engine)
{
    ui_->setupUi(this);
    // The fields show the identity once the inquiry has ended.
    connect(&events, &EngineEvents::identityInquired, this, [this](const LssIdentity& id) {
        logic_.Inquired(id);
        ui_->vendorEdit->setText(QString::fromStdString(logic_.vendorText));
        ui_->productEdit->setText(QString::fromStdString(logic_.productText));
        ui_->revisionEdit->setText(QString::fromStdString(logic_.revisionText));
        ui_->serialEdit->setText(QString::fromStdString(logic_.serialText));
    });
    connect(ui_->okButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->cancelButton, &QPushButton::clicked, this, &QDialog::reject);
}

CCANInquireLssDlg::~CCANInquireLssDlg() = default;

}  // namespace nalvexa
