// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

namespace nalvexa {

// Program name, version, what the driver does.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    AboutDialog(const QString& version, QWidget* parent = nullptr);
};

}  // namespace nalvexa
