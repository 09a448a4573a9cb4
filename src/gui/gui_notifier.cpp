// SPDX-License-Identifier: MIT
#include "gui_notifier.h"

#include <QApplication>
#include <QMessageBox>

namespace nalvexa {

void GuiNotifier::Show(const std::string& text, Caption caption)
{
    const QString body = QString::fromStdString(text);
    switch (caption) {
    case Caption::Title: QMessageBox::warning(QApplication::activeWindow(), caption_, body); break;
    case Caption::Info: QMessageBox::critical(QApplication::activeWindow(), "info", body); break;
    case Caption::Error: QMessageBox::critical(QApplication::activeWindow(), "Error", body); break;
    }
}

bool GuiNotifier::Ask(const std::string& question)
{
    return QMessageBox::question(QApplication::activeWindow(), caption_, QString::fromStdString(question),
                                 QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
                                 QMessageBox::No) == QMessageBox::Yes;
}

bool GuiNotifier::Confirm(const std::string& warning)
{
    return QMessageBox::warning(QApplication::activeWindow(), caption_, QString::fromStdString(warning),
                                QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel) == QMessageBox::Ok;
}

}  // namespace nalvexa
