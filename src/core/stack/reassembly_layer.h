// SPDX-License-Identifier: MIT
// Collects the pieces the port delivers into whole frames. A frame whose
// bytes stopped arriving for longer than the response interval is given up,
// so one stray or lost byte cannot shift every later answer.
#pragma once

#include <cstdint>
#include <limits>

#include "platform.h"
#include "stack/message.h"
#include "stack/retrying_link.h"

namespace nalvexa {

template <class FrameT>
class ReassemblyLayer : public ProtocolLayer {
public:
    ReassemblyLayer(const ITimerHost& clock, const LinkSettings& timing) : clock_(clock), timing_(timing)
    {
        assembly_.inbound = 1;
    }

    const FrameT& assembly() const { return assembly_; }
    void Reset() { assembly_.Clear(); }

    void Process(Message* message) final
    {
        auto& piece = static_cast<FrameT&>(*message);
        if (!piece.inbound) {
            assembly_.Clear();
            ++framesSent_;
            return;
        }
        int64_t now = clock_.nowMs();
        if (assembly_.count > 0 && now - lastByteAt_ > timing_.responseInterval()) assembly_.Clear();
        lastByteAt_ = now;
        for (int32_t i = 0; i < piece.count; ++i) {
            assembly_.Append(piece.bytes[i]);
            if (Whole(assembly_)) {
                assembly_.from = piece.from;
                const uint64_t sent = framesSent_;
                if (upper) upper->Receive(&assembly_, this);
                assembly_.Clear();
                // A frame went out meanwhile: what is left of this piece arrived
                // before it and cannot be its answer.
                if (framesSent_ != sent) break;
            }
        }
        piece.stop = true;
    }

protected:
    virtual bool Whole(const FrameT& assembly) const = 0;

private:
    const ITimerHost& clock_;
    const LinkSettings& timing_;
    FrameT assembly_;
    int64_t lastByteAt_ = std::numeric_limits<int64_t>::min() / 2;  // none yet
    uint64_t framesSent_ = 0;
};

// Frames delimited by their first byte: that many bytes follow it.
template <class FrameT>
class LengthPrefixedReassembly : public ReassemblyLayer<FrameT> {
public:
    using ReassemblyLayer<FrameT>::ReassemblyLayer;

protected:
    bool Whole(const FrameT& assembly) const override { return assembly.count == assembly.bytes[0] + 1; }
};

}  // namespace nalvexa
