#pragma once
// Runs the Qt event loop until a condition holds or a deadline passes, for
// tests that wait for datagrams or timer ticks without fixed sleeps.

#include <chrono>
#include <functional>

namespace lumaren::test {

// Processes events until done() is true; false when the timeout passed first.
bool ProcessEventsUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace lumaren::test
