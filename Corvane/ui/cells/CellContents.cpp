#include "ui/cells/CellContents.h"

#include <algorithm>

namespace {

const QString emDash = QStringLiteral("—");

CellContent absent(const QString &tooltip = {})
{
    CellContent content;
    content.text = emDash;
    content.tone = Style::Tone::tertiary;
    content.tooltip = tooltip;
    return content;
}

}

CellContent CellContents::stateBadge(RankingState state, std::optional<qint64> sampleSize)
{
    CellContent content;
    content.size = Style::TextSize::caption;
    content.weight = QFont::Medium;
    content.capsule = true;
    switch (state) {
    case RankingState::found:
        content.text = QStringLiteral("Found");
        content.tone = Style::Tone::green;
        content.tooltip = QStringLiteral("The app appeared in Apple's returned results.");
        break;
    case RankingState::notFoundInSample:
        content.text = sampleSize ? QStringLiteral("Not in top ") + QString::number(*sampleSize) : QStringLiteral("Not in sample");
        content.tone = Style::Tone::secondary;
        content.tooltip = QStringLiteral("Not in the results Apple returned. This does not prove the app is unindexed for the keyword.");
        break;
    case RankingState::requestFailed:
        content.text = QStringLiteral("Request failed");
        content.tone = Style::Tone::red;
        content.tooltip = QStringLiteral("The search request failed. No ranking conclusion was drawn.");
        break;
    case RankingState::notChecked:
        content.text = QStringLiteral("Not checked");
        content.tone = Style::Tone::secondary;
        content.tooltip = QStringLiteral("No search yet in this storefront.");
        break;
    }
    return content;
}

CellContent CellContents::popularity(std::optional<qint64> value, std::optional<PopularitySource> source)
{
    if (!value || !source)
        return absent(QStringLiteral("No Apple Ads popularity yet."));
    const bool minimum = *source == PopularitySource::appleMinimum;
    CellContent content;
    content.text = QString::number(*value);
    content.tone = minimum ? Style::Tone::secondary : Style::Tone::primary;
    content.gauge = std::clamp<qint64>(*value, 0, 100);
    content.gaugeTone = minimum ? Style::Tone::secondary : Style::Tone::accent;
    content.spacing = 6;
    content.tooltip = minimum
        ? QStringLiteral("Not in Apple Ads' weekly top search terms for this country: Apple's minimum, 5 (low search volume).")
        : QStringLiteral("Apple Ads search popularity for this country (1–100, weekly).");
    return content;
}

CellContent CellContents::difficulty(std::optional<qint64> value)
{
    if (!value)
        return absent();
    CellContent content;
    content.text = QString::number(*value);
    content.weight = QFont::Medium;
    if (*value < 35) {
        content.detail = QStringLiteral("Easy");
        content.tone = Style::Tone::green;
    } else if (*value <= 64) {
        content.detail = QStringLiteral("Medium");
        content.tone = Style::Tone::orange;
    } else {
        content.detail = QStringLiteral("Hard");
        content.tone = Style::Tone::red;
    }
    content.spacing = 4;
    content.tooltip = QStringLiteral("How hard it is to reach the top 10, based on the current top 10 apps' ratings and titles.");
    return content;
}

CellContent CellContents::change(const Ranking::Change &change)
{
    using Kind = Ranking::Change::Kind;
    CellContent content;
    content.size = Style::TextSize::caption;
    content.spacing = 3;
    switch (change.kind) {
    case Kind::moved:
        if (change.places == 0) {
            content = CellContent{};
            content.symbol = QStringLiteral("minus");
            content.tone = Style::Tone::tertiary;
            return content;
        }
        // The magnitude through unsigned arithmetic, which is defined for every qint64.
        content.text = QString::number(change.places < 0 ? 0 - quint64(change.places) : quint64(change.places));
        content.symbol = change.places > 0 ? QStringLiteral("arrow.up") : QStringLiteral("arrow.down");
        content.tone = change.places > 0 ? Style::Tone::green : Style::Tone::red;
        content.weight = QFont::Medium;
        return content;
    case Kind::newRanking:
        content.text = QStringLiteral("New");
        content.symbol = QStringLiteral("sparkles");
        content.tone = Style::Tone::green;
        return content;
    case Kind::lost:
        content.text = QStringLiteral("Lost");
        content.symbol = QStringLiteral("xmark");
        content.tone = Style::Tone::red;
        return content;
    case Kind::none:
        break;
    }
    return absent();
}
