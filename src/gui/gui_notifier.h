// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <functional>

#include "platform.h"

namespace nalvexa {

// Message boxes of the window: modal, under the program's title.
class GuiNotifier : public IUserNotifier {
public:
    void SetCaption(const QString& caption) { caption_ = caption; }
    void message(const std::string& text, Caption caption = Caption::Title) override;
    Answer askYesNoCancel(const std::string& text) override;
    Answer askOkCancel(const std::string& text) override;
    // The window shows the last state line; no box.
    void state(const std::string& line) override
    {
        if (onState) onState(line);
    }
    std::function<void(const std::string&)> onState;

private:
    QString caption_ = "nalvexa";
};

}  // namespace nalvexa
