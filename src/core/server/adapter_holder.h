// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

#include "server/adapter_interfaces.h"

namespace nalvexa {

// The one adapter of this run. It owns the adapter, which is never replaced.
class AdapterHolder {
public:
    static AdapterHolder& instance();
    IDriverAdapter* adapter() const { return adapter_.get(); }
    void set(std::unique_ptr<IDriverAdapter> adapter) { adapter_ = std::move(adapter); }

private:
    std::unique_ptr<IDriverAdapter> adapter_;
};

}  // namespace nalvexa
