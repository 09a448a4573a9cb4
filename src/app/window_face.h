// SPDX-License-Identifier: MIT
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QPointer>

#include "face.h"
#include "main_window.h"

namespace nalvexa {

// The window as a face of the engine: each event, called on the engine's
// thread, is handed as a value to the window's thread and shown there.
// Events that come before the window exists wait for it.
class WindowFace : public IFace {
public:
    // `context` lives on the window's thread.
    explicit WindowFace(QObject& context) : context_(context) {}
    // On the window's thread.
    void Attach(MainWindow* window) { window_ = window; }

    void Changed(const EngineState& state) override
    {
        Post([state](MainWindow& w) { w.Changed(state); });
    }
    void Message(const std::string& text, Caption caption) override
    {
        Post([text, caption](MainWindow& w) { w.Message(text, caption); });
    }
    void Logged(const std::string&) override {}  // the window shows the device's state from Changed
    void TraceLine(const std::string& line) override
    {
        Post([line](MainWindow& w) { w.TraceLine(line); });
    }
    void CloseRequested(CloseCause) override
    {
        Post([](MainWindow& w) { w.CloseRequested(); });
    }
    void IdentityInquired(const LssIdentity& identity) override
    {
        Post([identity](MainWindow& w) { emit w.events().identityInquired(identity); });
    }
    void TestFrameRead(uint32_t result, const CanMessage& frame) override
    {
        Post([result, frame](MainWindow& w) { emit w.events().testFrameRead(result, frame); });
    }

private:
    template <class F>
    void Post(F show)
    {
        QMetaObject::invokeMethod(
            &context_,
            [this, show = std::move(show)] {
                if (window_) show(*window_);
            },
            Qt::QueuedConnection);
    }

    QObject& context_;
    QPointer<MainWindow> window_;
};

}  // namespace nalvexa
