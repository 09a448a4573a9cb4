// SPDX-License-Identifier: MIT
#include "about_dialog.h"

#include "ui_aboutdialog.h"

namespace nalvexa {

AboutDialog::AboutDialog(const QString& version, QWidget* parent) : QDialog(parent)
{
    Ui::AboutDialog ui;
    ui.setupUi(this);
    ui.versionLabel->setText("Version " + version);
    connect(ui.okButton, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace nalvexa
