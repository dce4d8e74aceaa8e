#include "ui/cells/LayOutNow.h"

#include <QLayout>
#include <QWidget>

void layOutNow(QWidget *root)
{
    // Every descendant comes after its ancestors.
    const auto parts = root->findChildren<QWidget *>();
    for (auto part = parts.crbegin(); part != parts.crend(); ++part) {
        if (auto *layout = (*part)->layout(); layout && (*part)->isVisible())
            layout->activate();
    }
    if (auto *layout = root->layout())
        layout->activate();
}
