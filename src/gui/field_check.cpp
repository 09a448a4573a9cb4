// SPDX-License-Identifier: MIT
#include "field_check.h"

#include <string>

#include "settings/decimal.h"

namespace nalvexa {

namespace {

bool Refuse(QLineEdit* field, const std::string& text, IUserNotifier& notifier)
{
    notifier.message(text);
    field->setFocus();
    field->selectAll();
    return false;
}

}  // namespace

bool ReadSignedField(QLineEdit* field, int32_t& value, IUserNotifier& notifier)
{
    int32_t v = 0;
    if (!ParseSigned(field->text().toStdString(), v)) return Refuse(field, "Please enter an integer.", notifier);
    value = v;
    return true;
}

bool ReadUnsignedField(QLineEdit* field, uint32_t& value, IUserNotifier& notifier)
{
    uint32_t v = 0;
    if (!ParseUnsigned(field->text().toStdString(), v))
        return Refuse(field, "Please enter a positive integer.", notifier);
    value = v;
    return true;
}

bool ReadRangeField(QLineEdit* field, int32_t low, int32_t high, int32_t& value, IUserNotifier& notifier)
{
    int32_t v = 0;
    if (!ParseSigned(field->text().toStdString(), v) || v < low || v > high)
        return Refuse(field, "Please enter an integer between " + std::to_string(low) + " and " + std::to_string(high) + ".",
                      notifier);
    value = v;
    return true;
}

}  // namespace nalvexa
