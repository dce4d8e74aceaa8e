#pragma once

#include <QApplication>
#include <QList>
#include <QString>
#include <QWidget>
#include <QtTest>

#include <memory>

// The widgets of `window` that the keyboard can put the focus in now: its fields and buttons.
inline QList<QWidget *> focusableFields(QWidget *window)
{
    QList<QWidget *> fields;
    for (auto *widget : window->findChildren<QWidget *>()) {
        if (widget->isVisible() && widget->isEnabled() && (widget->focusPolicy() & Qt::TabFocus) && !widget->focusProxy())
            fields.append(widget);
    }
    return fields;
}

// Builds a window with `make` once for each of its fields, puts the focus in that field, types
// into it and destroys the window. A field reports its edit as it loses the focus while the
// window goes; nothing of that may reach a half-destroyed object (the sanitizers stop on such a
// call). Returns the number of fields visited.
template<typename Make>
int destroyWithFocusInEachField(Make make, const QString &typed = QStringLiteral("7"))
{
    for (int i = 0;; ++i) {
        std::unique_ptr<QWidget> window = make();
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            return -1;
        const auto fields = focusableFields(window.get());
        if (i >= fields.size())
            return i;
        fields[i]->setFocus(Qt::TabFocusReason);
        if (!fields[i]->hasFocus())
            return -1;
        QTest::keyClicks(fields[i], typed);
        window.reset();
        QCoreApplication::processEvents();
    }
}
