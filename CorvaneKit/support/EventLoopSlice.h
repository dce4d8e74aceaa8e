#pragma once

#include <QCoroTask>
#include <QElapsedTimer>

#include <chrono>

// Work that could go on without ever waiting, such as stored results applied one after another,
// would hold the event loop for as long as it lasts. Such work asks spent() between its steps
// and, once the slice has run its budget, awaits pause() and then restarts the slice: the event
// loop handles what came meanwhile (input, painting, timers) in between.
class EventLoopSlice
{
public:
    // Well under a frame's worth of the 100 ms in which the window must answer.
    static constexpr std::chrono::milliseconds standardBudget{20};

    // The budget of every slice from now on; tests set it to zero to pause at every step.
    static void setBudget(std::chrono::milliseconds budget);
    static std::chrono::milliseconds budget();

    EventLoopSlice();

    bool spent() const;
    void restart();
    // Returns on a later turn of the event loop. Static, as the slice's owner may be gone by then.
    static QCoro::Task<> pause();

private:
    QElapsedTimer m_started;
};
