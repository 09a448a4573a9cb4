// SPDX-License-Identifier: MIT
#include "fault_space_models.h"

namespace nalvexa::test::faults {

Findings ExploreCan(Reach, uint64_t, long)
{
    Findings f;
    f.violations.push_back("not yet explored");
    return f;
}

}  // namespace nalvexa::test::faults
