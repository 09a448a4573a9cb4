// SPDX-License-Identifier: MIT
// Reading numbers from edit fields as dialogs check them: a refused entry
// shows the standard text, takes the focus and keeps the old value.
#pragma once

#include <QLineEdit>

#include "platform.h"

namespace nalvexa {

bool ReadSignedField(QLineEdit* field, int32_t& value, IUserNotifier& notifier);
bool ReadUnsignedField(QLineEdit* field, uint32_t& value, IUserNotifier& notifier);
// A whole number from `low` to `high`.
bool ReadRangeField(QLineEdit* field, int32_t low, int32_t high, int32_t& value, IUserNotifier& notifier);
// A node-ID: first a byte ("between 0 and 255"), then 0 to 127.
bool ReadNodeIdField(QLineEdit* field, int32_t& value, IUserNotifier& notifier);
// A 32-bit serial number, decimal or 0x-hexadecimal.
bool ReadSerialNumberField(QLineEdit* field, uint32_t& value, IUserNotifier& notifier);
// A port address: up to four hexadecimal digits.
bool ReadPortAddressField(const QString& text, uint32_t& value);
// Text that is a whole number, as the value it holds; none otherwise.
bool ParseWholeNumber(const QString& text, int64_t& value);

}  // namespace nalvexa
