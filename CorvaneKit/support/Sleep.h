#pragma once

#include "CancelToken.h"

#include <QCoroTask>

#include <chrono>
#include <functional>

// Suspends the caller for the given time on the event loop. Returns early, without
// an error, when the token is (or becomes) cancelled.
QCoro::Task<> cancellableSleep(std::chrono::milliseconds duration, CancelTokenPtr token = {});

// Seconds as a double, rounded up to whole milliseconds so a waiter never wakes early.
std::chrono::milliseconds secondsToMilliseconds(double seconds);

// An injectable sleep: real sleeps in the application, virtual time in tests.
using SleepFunction = std::function<QCoro::Task<>(double seconds, CancelTokenPtr token)>;

SleepFunction realSleep();
