// SPDX-License-Identifier: MIT
#pragma once

namespace nalvexa {

// What the socket server tells the window.
class IServerEvents {
public:
    virtual ~IServerEvents() = default;
    virtual void Refresh() = 0;
    virtual void CloseWithoutConfirmation() = 0;
};

}  // namespace nalvexa
