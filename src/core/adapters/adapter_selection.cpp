// SPDX-License-Identifier: MIT
#include "adapters/adapter_selection.h"

#include "adapters/lvt/adapter_lvt.h"
#include "can/adapter_can.h"
#include "adapters/qmr/adapter_qmr.h"
#include "adapters/tr7100/adapter_tr7100.h"

namespace nalvexa {

AdapterChoice SelectAdapter(const std::string& keyword)
{
    static constexpr const char* kTr7100 = "Quarlin Axtelo 3.02 - TR7100 Driver";
    static constexpr const char* kLvt = "Quarlin Axtelo 4.0 - LVT Driver";
    if (keyword.empty() || keyword == "TR7100") return {AdapterKind::Tr7100, kTr7100};
    if (keyword == "QMR") return {AdapterKind::Qmr, "Quarlin Axtelo 3.02 - QMR Driver"};
    if (keyword == "LVT") return {AdapterKind::Lvt, kLvt};
    if (keyword == "CAN") return {AdapterKind::Can, "Quarlin Axtelo 3.02 - CAN Driver"};
    return {AdapterKind::Lvt, kLvt, false};
}

std::unique_ptr<IDriverAdapter> CreateAdapter(AdapterKind kind, const AdapterContext& context)
{
    switch (kind) {
    case AdapterKind::Tr7100: return std::make_unique<CAdapterTR7100>(context);
    case AdapterKind::Qmr: return std::make_unique<CAdapterQMR>(context);
    case AdapterKind::Lvt: return std::make_unique<CAdapterLVT>(context);
    case AdapterKind::Can: {
        auto adapter = std::make_unique<CAdapterCAN>(context.can, context.ini, context.timers, context.notifier);
        adapter->SetWaitMode(context.canWait);
        return adapter;
    }
    }
    return nullptr;
}

}  // namespace nalvexa
