// SPDX-License-Identifier: MIT
// The core's platform services on the Qt event loop.
#pragma once

#include <QElapsedTimer>

#include "platform.h"

namespace nalvexa {

class QtTimerHost : public ITimerHost {
public:
    QtTimerHost() { clock_.start(); }
    int64_t nowMs() const override { return clock_.elapsed(); }
    std::unique_ptr<ITimer> createTimer(std::function<void()> onExpiry) override;

private:
    QElapsedTimer clock_;
};

class QtSleeper : public ISleeper {
public:
    void sleepMs(int ms) override;
};

class QtTaskPoster : public ITaskPoster {
public:
    void post(std::function<void()> task) override;
};

// Headless: each message box becomes one line on stderr and never waits.
class StderrNotifier : public IUserNotifier {
public:
    void message(const std::string& text, Caption caption = Caption::Title) override;
    // Closing from a terminal or a service manager is a confirmed close.
    Answer askYesNoCancel(const std::string& text) override;
    Answer askOkCancel(const std::string& text) override;
    void state(const std::string& line) override { message(line); }
};

}  // namespace nalvexa
