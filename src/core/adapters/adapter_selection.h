// SPDX-License-Identifier: MIT
#pragma once

#include <memory>
#include <string>

#include "adapters/adapter_context.h"
#include "server/adapter_interfaces.h"

namespace nalvexa {

enum class AdapterKind { Tr7100, Qmr, Lvt, Can };

struct AdapterChoice {
    AdapterKind kind;
    const char* title;
    bool exact = true;  // false: the text was no keyword, and LVT serves
};

// The keyword is compared exactly: no trimming, no case folding. Empty
// selects TR7100, any text that is no keyword selects LVT.
AdapterChoice SelectAdapter(const std::string& keyword);

std::unique_ptr<IDriverAdapter> CreateAdapter(AdapterKind kind, const AdapterContext& context);

}  // namespace nalvexa
