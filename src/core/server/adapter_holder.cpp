// SPDX-License-Identifier: MIT
#include "server/adapter_holder.h"

namespace nalvexa {

AdapterHolder& AdapterHolder::instance()
{
    // Never destroyed: the adapter may still be answering while the process ends.
    static AdapterHolder* holder = new AdapterHolder;
    return *holder;
}

}  // namespace nalvexa
