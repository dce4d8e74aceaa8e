#pragma once

#include <QCoroTask>

#include <exception>
#include <optional>
#include <type_traits>
#include <utility>

// Drives a coroutine to completion on a local event loop and hands back its value
// or the exception it threw. QCoro::waitFor on its own never returns when the task throws.
template<typename T>
struct TaskOutcome
{
    std::optional<T> value;
    std::exception_ptr error;

    bool succeeded() const { return !error; }

    // The thrown exception as E, or nothing when the task succeeded or threw something else.
    template<typename E>
    std::optional<E> errorAs() const
    {
        if (!error)
            return std::nullopt;
        try {
            std::rethrow_exception(error);
        } catch (const E &e) {
            return e;
        } catch (...) {
            return std::nullopt;
        }
    }
};

template<>
struct TaskOutcome<void>
{
    std::exception_ptr error;

    bool succeeded() const { return !error; }

    template<typename E>
    std::optional<E> errorAs() const
    {
        if (!error)
            return std::nullopt;
        try {
            std::rethrow_exception(error);
        } catch (const E &e) {
            return e;
        } catch (...) {
            return std::nullopt;
        }
    }
};

namespace TaskRunner {

template<typename T>
QCoro::Task<TaskOutcome<T>> capture(QCoro::Task<T> task)
{
    TaskOutcome<T> outcome;
    try {
        if constexpr (std::is_void_v<T>)
            co_await std::move(task);
        else
            outcome.value.emplace(co_await std::move(task));
    } catch (...) {
        outcome.error = std::current_exception();
    }
    co_return outcome;
}

template<typename T>
TaskOutcome<T> run(QCoro::Task<T> task)
{
    return QCoro::waitFor(capture(std::move(task)));
}

} // namespace TaskRunner
