#pragma once
// The thread timer over Qt's event loop. Include only where the real timers
// are made (the program's start-up, the tools, the platform tests).

#include <exception>
#include <functional>
#include <memory>

#include "platform/ThreadTimer.h"

namespace lumaren::platform {

// Receives an exception that escaped a tick handler. The timer goes on
// ticking as if the handler had returned.
using TTimerExceptionHandler = std::function<void(std::exception_ptr)>;

// A timer over a precise QTimer, ticking on the thread that makes it (the
// main thread). Without an exception handler an escaped exception is written
// to the Qt warning log and dropped: letting it unwind through Qt's event
// loop would end the program.
std::unique_ptr<TThreadTimer> CreateQtThreadTimer(TTimerExceptionHandler onException = {});
TThreadTimerFactory QtThreadTimerFactory(TTimerExceptionHandler onException = {});

}  // namespace lumaren::platform
