#include "model/Keyword.h"

#include <utility>

Keyword::Keyword(QString normalized, QString display)
    : normalized(std::move(normalized)), display(std::move(display))
{
}
