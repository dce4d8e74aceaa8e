#pragma once

#include <QPointer>

// Counts one in a counter of an object for as long as it lives, as a coroutine frame does for
// the work it stands for; the object may go away meanwhile.
template <typename T>
class CountedScope
{
public:
    CountedScope(T *object, int T::*count) : m_object(object), m_count(count)
    {
        if (m_object)
            ++(m_object->*m_count);
    }
    ~CountedScope()
    {
        if (m_object)
            --(m_object->*m_count);
    }
    CountedScope(const CountedScope &) = delete;
    CountedScope &operator=(const CountedScope &) = delete;

private:
    QPointer<T> m_object;
    int T::*m_count;
};
