// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include "dialog_host.h"

namespace nalvexa {

// Message boxes of the window: modal, under the program's title.
class GuiNotifier : public IDialogHost {
public:
    void SetCaption(const QString& caption) { caption_ = caption; }
    void Show(const std::string& text, Caption caption) override;
    bool Confirm(const std::string& warning) override;
    bool Ask(const std::string& question) override;

private:
    QString caption_ = "nalvexa";
};

}  // namespace nalvexa
