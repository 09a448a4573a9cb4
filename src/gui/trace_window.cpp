// SPDX-License-Identifier: MIT
#include "trace_window.h"

#include <QCloseEvent>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QMessageBox>
#include <QTextStream>
#include <QVBoxLayout>

namespace nalvexa {

TraceWindow::TraceWindow(IEngine& engine, QWidget* parent)
    : QWidget(parent, Qt::Window), engine_(engine), view_(new QPlainTextEdit(this)), pause_(new QPushButton("Pause", this)),
      clear_(new QPushButton("Clear", this)), save_(new QPushButton("Save as...", this))
{
    setWindowTitle("Trace");
    setAttribute(Qt::WA_DeleteOnClose);
    view_->setReadOnly(true);
    view_->setMaximumBlockCount(kMaxLines);
    view_->setLineWrapMode(QPlainTextEdit::NoWrap);
    view_->setFont(QFont("monospace"));
    pause_->setCheckable(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(pause_);
    buttons->addWidget(clear_);
    buttons->addWidget(save_);
    buttons->addStretch();
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_);
    layout->addLayout(buttons);
    resize(720, 400);
    connect(pause_, &QPushButton::toggled, this, &TraceWindow::OnPause);
    connect(clear_, &QPushButton::clicked, this, [this] {
        view_->clear();
        held_.clear();
    });
    connect(save_, &QPushButton::clicked, this, &TraceWindow::OnSaveAs);
    engine_.Trace(true);
}

TraceWindow::~TraceWindow() { Stop(); }

void TraceWindow::Stop()
{
    if (tracing_) engine_.Trace(false);
    tracing_ = false;
}

void TraceWindow::Append(const std::string& line)
{
    const QString text = QString::fromStdString(line);
    if (pause_->isChecked()) {
        held_.append(text);
        if (held_.size() > kMaxLines) held_.removeFirst();
        return;
    }
    view_->appendPlainText(text);
}

void TraceWindow::OnPause(bool paused)
{
    pause_->setText(paused ? "Resume" : "Pause");
    if (paused) return;
    for (const QString& line : held_) view_->appendPlainText(line);
    held_.clear();
}

bool TraceWindow::SaveTo(const QString& path) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) return false;
    QTextStream(&file) << view_->toPlainText() << '\n';
    return file.error() == QFileDevice::NoError;
}

void TraceWindow::OnSaveAs()
{
    const QString path = QFileDialog::getSaveFileName(this, "Save as...", "nalvexa-trace.txt");
    if (!path.isEmpty() && !SaveTo(path)) QMessageBox::warning(this, "Trace", "Cannot save the trace to " + path);
}

void TraceWindow::closeEvent(QCloseEvent* event)
{
    Stop();  // the tracing it started ends with it
    event->accept();
}

}  // namespace nalvexa
