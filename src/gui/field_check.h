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

}  // namespace nalvexa
