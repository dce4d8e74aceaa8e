#include "ui/metadata/CoverageCell.h"

#include <QStringList>

CellContent CoverageCell::content(const std::optional<MetadataOptimizer::Coverage> &coverage)
{
    CellContent content;
    if (!coverage) {
        content.text = QStringLiteral("—");
        content.tone = Style::Tone::tertiary;
        return content;
    }
    if (coverage->covered) {
        content.text = QStringLiteral("Covered");
        content.symbol = QStringLiteral("checkmark.circle.fill");
        content.spacing = 4;
        content.tone = Style::Tone::green;
        content.tooltip = QStringLiteral("Every word of this keyword is in the name, subtitle or keyword field.");
        return content;
    }
    content.text = QStringLiteral("Missing: ") + coverage->missingWords.join(QStringLiteral(", "));
    content.tone = Style::Tone::orange;
    QStringList quoted;
    for (const auto &word : coverage->missingWords)
        quoted.append(u'“' + word + u'”');
    content.tooltip = QStringLiteral("Add ") + quoted.join(QStringLiteral(", "))
        + QStringLiteral(" to the metadata to cover this keyword.");
    return content;
}
