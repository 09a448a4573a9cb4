// SPDX-License-Identifier: MIT
#include "gui_notifier.h"

#include <QApplication>
#include <QMessageBox>

namespace nalvexa {

void GuiNotifier::message(const std::string& text, Caption caption)
{
    const QString body = QString::fromStdString(text);
    switch (caption) {
    case Caption::Title: QMessageBox::warning(QApplication::activeWindow(), caption_, body); break;
    case Caption::Info: QMessageBox::critical(QApplication::activeWindow(), "info", body); break;
    case Caption::Error: QMessageBox::critical(QApplication::activeWindow(), "Error", body); break;
    }
}

Answer GuiNotifier::askYesNoCancel(const std::string& text)
{
    auto answer = QMessageBox::question(QApplication::activeWindow(), caption_, QString::fromStdString(text),
                                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No);
    return answer == QMessageBox::Yes ? Answer::Yes : answer == QMessageBox::No ? Answer::No : Answer::Cancel;
}

Answer GuiNotifier::askOkCancel(const std::string& text)
{
    auto answer = QMessageBox::warning(QApplication::activeWindow(), caption_, QString::fromStdString(text),
                                       QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel);
    return answer == QMessageBox::Ok ? Answer::Ok : Answer::Cancel;
}

}  // namespace nalvexa
