#include "Yield.h"

#include <QCoreApplication>
#include <QElapsedTimer>

namespace {
constexpr qint64 PumpIntervalMs = 15;

QElapsedTimer &sinceLastPump()
{
    static QElapsedTimer timer;
    return timer;
}
} // namespace

void Yield()
{
    QElapsedTimer &timer = sinceLastPump();
    if (timer.isValid() && timer.elapsed() < PumpIntervalMs)
        return;
    YieldNow();
}

void YieldNow()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sinceLastPump().start();
}
