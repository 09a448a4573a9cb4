// SPDX-License-Identifier: MIT
#include "qt_services.h"

#include <QCoreApplication>
#include <QThread>
#include <QTimer>

namespace nalvexa {

namespace {

class QtTimer : public ITimer {
public:
    explicit QtTimer(std::function<void()> onExpiry)
    {
        timer_.setSingleShot(true);
        timer_.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer_, &QTimer::timeout, [fn = std::move(onExpiry)] { fn(); });
    }
    void start(int ms) override { timer_.start(ms); }
    void stop() override { timer_.stop(); }
    bool isActive() const override { return timer_.isActive(); }

private:
    QTimer timer_;
};

}  // namespace

std::unique_ptr<ITimer> QtTimerHost::createTimer(std::function<void()> onExpiry)
{
    return std::make_unique<QtTimer>(std::move(onExpiry));
}

void QtTaskPoster::post(std::function<void()> task)
{
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

}  // namespace nalvexa
