// SPDX-License-Identifier: MIT
#pragma once

#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include "face.h"

namespace nalvexa {

// "Trace": the live trace lines (the last 10,000), with Pause, Clear and
// "Save as...". It traces while it is open; closing it stops that.
class TraceWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr int kMaxLines = 10000;

    explicit TraceWindow(IEngine& engine, QWidget* parent = nullptr);
    ~TraceWindow() override;

    // A line of the trace, as the engine sent it.
    void Append(const std::string& line);
    // Writes what it shows to a file; false when that fails.
    bool SaveTo(const QString& path) const;

    QPlainTextEdit* view() { return view_; }
    QPushButton* pauseButton() { return pause_; }
    QPushButton* clearButton() { return clear_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Stop();
    void OnPause(bool paused);
    void OnSaveAs();

    IEngine& engine_;
    bool tracing_ = true;
    QPlainTextEdit* view_;
    QPushButton* pause_;
    QPushButton* clear_;
    QPushButton* save_;
    QStringList held_;  // lines that came while paused
};

}  // namespace nalvexa
