#pragma once

#include <QObject>

namespace ChildSignals {

// Cuts every connection from the owner's descendants to the owner. A widget's destructor calls it
// first: its children die after the destructor's body, and a focus-out or editing-finished
// signal they send then must not reach the half-destroyed owner.
inline void disconnectFrom(QObject *owner)
{
    for (auto *child : owner->findChildren<QObject *>())
        QObject::disconnect(child, nullptr, owner, nullptr);
}

}
