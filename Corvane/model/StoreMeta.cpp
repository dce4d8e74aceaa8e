#include "model/StoreMeta.h"

#include <utility>

StoreMeta::StoreMeta(QString key, qint64 value) : key(std::move(key)), value(value) {}
