#pragma once

#include <QList>
#include <QString>
#include <QStringView>

#include <optional>

// The tools of the sidebar, selected by their raw values. App IDs are numeric, so a selection
// string is never both a tool and an app.
enum class Tool { research, alerts };

namespace Tools {

const QList<Tool> &all();
QString rawValue(Tool tool);
std::optional<Tool> fromRaw(QStringView raw);
QString title(Tool tool);
// The symbol of the sidebar row.
QString symbol(Tool tool);

}
