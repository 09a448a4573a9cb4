// SPDX-License-Identifier: MIT
// Lists of texts between the dialogs' logic and their widgets.
#pragma once

#include <QStringList>
#include <string>
#include <vector>

namespace nalvexa {

inline QStringList QStrings(const std::vector<std::string>& texts)
{
    QStringList list;
    for (const std::string& t : texts) list << QString::fromStdString(t);
    return list;
}

inline std::vector<std::string> Strings(const QStringList& list)
{
    std::vector<std::string> texts;
    for (const QString& t : list) texts.push_back(t.toStdString());
    return texts;
}

}  // namespace nalvexa
