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

bool ReadNodeIdField(QLineEdit* field, int32_t& value, IUserNotifier& notifier)
{
    int32_t v = 0;
    if (!ParseSigned(field->text().toStdString(), v) || v < 0 || v > 255)
        return Refuse(field, "Please enter an integer between 0 and 255.", notifier);
    if (v > 127) return Refuse(field, "Please enter an integer between 0 and 127.", notifier);
    value = v;
    return true;
}

bool ReadSerialNumberField(QLineEdit* field, uint32_t& value, IUserNotifier& notifier)
{
    const QString text = field->text().trimmed();
    bool ok = false;
    const qulonglong v = text.startsWith("0x", Qt::CaseInsensitive) ? text.mid(2).toULongLong(&ok, 16)
                                                                    : text.toULongLong(&ok, 10);
    if (!ok || v > 0xFFFFFFFFull || text.startsWith('+') || text.startsWith('-'))
        return Refuse(field, "Please enter a serial number from 0 to 4294967295 (or 0x0 to 0xFFFFFFFF).", notifier);
    value = static_cast<uint32_t>(v);
    return true;
}

bool ReadPortAddressField(const QString& text, uint32_t& value)
{
    const QString t = text.trimmed();
    bool ok = false;
    const uint v = t.toUInt(&ok, 16);
    if (!ok || t.isEmpty() || t.size() > 4 || t.startsWith('+') || t.startsWith('-') ||
        t.startsWith("0x", Qt::CaseInsensitive))
        return false;
    value = v;
    return true;
}

bool ParseWholeNumber(const QString& text, int64_t& value)
{
    bool ok = false;
    const qlonglong v = text.trimmed().toLongLong(&ok, 10);
    if (!ok || v < INT32_MIN || v > UINT32_MAX) return false;
    value = v;
    return true;
}

}  // namespace nalvexa
