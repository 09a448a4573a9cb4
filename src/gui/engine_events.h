// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include "face.h"

namespace nalvexa {

// The engine's events on the window's thread, for the window and the
// dialogs it has open.
class EngineEvents : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void changed(const nalvexa::EngineState& state);
    void identityInquired(const nalvexa::LssIdentity& identity);
    void testFrameRead(uint32_t result, const nalvexa::CanMessage& frame);
};

}  // namespace nalvexa
