// SPDX-License-Identifier: MIT
// CANopen network management: the master's commands to one node or to all,
// each a frame that waits its turn on the bus.
#include <memory>

#include "can/can_driver.h"
#include "can/can_procedure.h"

namespace nalvexa {

void CCANDriver::Nmt(uint8_t command, const char* failure)
{
    CanMessage f;
    f.id = 0x000;
    f.length = 2;
    f.data[0] = command;
    f.data[1] = NodeIdentifier;
    auto job = std::make_unique<CanProcedure>(*this);
    job->Send(f, false, failure);
    Submit(std::move(job));
}

void CCANDriver::StartRemoteNode() { Nmt(0x01, "Error executing StartRemoteNode"); }
void CCANDriver::StopRemoteNode() { Nmt(0x02, "Error executing StopRemoteNode"); }
void CCANDriver::EnterPreOperationalState() { Nmt(0x80, "Error executing EnterPreOperationalState"); }
void CCANDriver::ResetNode() { Nmt(0x81, "Error executing ResetNode"); }
void CCANDriver::ResetCommunications() { Nmt(0x82, "Error executing ResetCommunications"); }

}  // namespace nalvexa
