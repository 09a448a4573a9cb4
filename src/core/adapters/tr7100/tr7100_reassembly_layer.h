// SPDX-License-Identifier: MIT
#pragma once

#include "adapters/tr7100/tr7100_frame.h"
#include "stack/reassembly_layer.h"

namespace nalvexa {

// Every answer is six bytes.
class Tr7100ReassemblyLayer : public ReassemblyLayer<Tr7100Frame> {
public:
    using ReassemblyLayer::ReassemblyLayer;

protected:
    bool Whole(const Tr7100Frame& assembly) const override { return assembly.count == Tr7100Frame::kAnswerSize; }
};

}  // namespace nalvexa
