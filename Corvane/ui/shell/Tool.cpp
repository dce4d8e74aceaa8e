#include "ui/shell/Tool.h"

const QList<Tool> &Tools::all()
{
    static const QList<Tool> tools{Tool::research, Tool::alerts};
    return tools;
}

QString Tools::rawValue(Tool tool)
{
    return tool == Tool::research ? QStringLiteral("tool.research") : QStringLiteral("tool.alerts");
}

std::optional<Tool> Tools::fromRaw(QStringView raw)
{
    for (const auto tool : all()) {
        if (raw == rawValue(tool))
            return tool;
    }
    return std::nullopt;
}

QString Tools::title(Tool tool)
{
    return tool == Tool::research ? QStringLiteral("Keyword Research") : QStringLiteral("Alerts");
}

QString Tools::symbol(Tool tool)
{
    return tool == Tool::research ? QStringLiteral("magnifyingglass") : QStringLiteral("bell");
}
