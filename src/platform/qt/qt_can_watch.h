// SPDX-License-Identifier: MIT
#pragma once

#include <QSocketNotifier>
#include <memory>

#include "can_ready_watch.h"

namespace nalvexa {

// The watch of a CAN back end's descriptor on the Qt loop.
class QtCanWatch : public ICanReadyWatch {
public:
    void Watch(ReadyHandle handle, std::function<void()> ready) override
    {
        notifier_ = std::make_unique<QSocketNotifier>(handle, QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, [ready = std::move(ready)] { ready(); });
    }
    static CanReadyWatchFactory Factory()
    {
        return [] { return std::make_unique<QtCanWatch>(); };
    }

private:
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace nalvexa
