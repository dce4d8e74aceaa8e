#include "EventLoopSlice.h"

#include <QCoroTimer>

namespace {

std::chrono::milliseconds sliceBudget = EventLoopSlice::standardBudget;

}

void EventLoopSlice::setBudget(std::chrono::milliseconds budget)
{
    sliceBudget = budget;
}

std::chrono::milliseconds EventLoopSlice::budget()
{
    return sliceBudget;
}

EventLoopSlice::EventLoopSlice()
{
    m_started.start();
}

bool EventLoopSlice::spent() const
{
    return m_started.elapsed() >= sliceBudget.count();
}

void EventLoopSlice::restart()
{
    m_started.restart();
}

QCoro::Task<> EventLoopSlice::pause()
{
    // A zero timer fires only after the events already waiting were handled.
    co_await QCoro::sleepFor(std::chrono::milliseconds(0));
}
