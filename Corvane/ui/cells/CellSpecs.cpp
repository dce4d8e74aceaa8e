#include "ui/cells/CellSpecs.h"

#include <algorithm>

namespace {

const QString emDash = QStringLiteral("—");

CellSpec absent(const QString &tooltip = {})
{
    CellSpec spec;
    spec.text = emDash;
    spec.tone = Style::Tone::tertiary;
    spec.tooltip = tooltip;
    return spec;
}

}

CellSpec CellSpecs::stateBadge(RankingState state, std::optional<qint64> sampleSize)
{
    CellSpec spec;
    spec.size = Style::TextSize::caption;
    spec.weight = QFont::Medium;
    spec.capsule = true;
    switch (state) {
    case RankingState::found:
        spec.text = QStringLiteral("Found");
        spec.tone = Style::Tone::green;
        spec.tooltip = QStringLiteral("The app appeared in Apple's returned results.");
        break;
    case RankingState::notFoundInSample:
        spec.text = sampleSize ? QStringLiteral("Not in top ") + QString::number(*sampleSize) : QStringLiteral("Not in sample");
        spec.tone = Style::Tone::secondary;
        spec.tooltip = QStringLiteral("Not in the results Apple returned. This does not prove the app is unindexed for the keyword.");
        break;
    case RankingState::requestFailed:
        spec.text = QStringLiteral("Request failed");
        spec.tone = Style::Tone::red;
        spec.tooltip = QStringLiteral("The search request failed. No ranking conclusion was drawn.");
        break;
    case RankingState::notChecked:
        spec.text = QStringLiteral("Not checked");
        spec.tone = Style::Tone::secondary;
        spec.tooltip = QStringLiteral("No search yet in this storefront.");
        break;
    }
    return spec;
}

CellSpec CellSpecs::popularity(std::optional<qint64> value, std::optional<PopularitySource> source)
{
    if (!value || !source)
        return absent(QStringLiteral("No Apple Ads popularity yet."));
    const bool minimum = *source == PopularitySource::appleMinimum;
    CellSpec spec;
    spec.text = QString::number(*value);
    spec.tone = minimum ? Style::Tone::secondary : Style::Tone::primary;
    spec.gauge = std::clamp<qint64>(*value, 0, 100);
    spec.gaugeTone = minimum ? Style::Tone::secondary : Style::Tone::accent;
    spec.spacing = 6;
    spec.tooltip = minimum
        ? QStringLiteral("Not in Apple Ads' weekly top search terms for this country: Apple's minimum, 5 (low search volume).")
        : QStringLiteral("Apple Ads search popularity for this country (1–100, weekly).");
    return spec;
}

CellSpec CellSpecs::difficulty(std::optional<qint64> value)
{
    if (!value)
        return absent();
    CellSpec spec;
    spec.text = QString::number(*value);
    spec.weight = QFont::Medium;
    if (*value < 35) {
        spec.detail = QStringLiteral("Easy");
        spec.tone = Style::Tone::green;
    } else if (*value <= 64) {
        spec.detail = QStringLiteral("Medium");
        spec.tone = Style::Tone::orange;
    } else {
        spec.detail = QStringLiteral("Hard");
        spec.tone = Style::Tone::red;
    }
    spec.spacing = 4;
    spec.tooltip = QStringLiteral("How hard it is to reach the top 10, based on the current top 10 apps' ratings and titles.");
    return spec;
}

CellSpec CellSpecs::change(const Ranking::Change &change)
{
    using Kind = Ranking::Change::Kind;
    CellSpec spec;
    spec.size = Style::TextSize::caption;
    spec.spacing = 3;
    switch (change.kind) {
    case Kind::moved:
        if (change.places == 0) {
            spec = CellSpec{};
            spec.symbol = QStringLiteral("minus");
            spec.tone = Style::Tone::tertiary;
            return spec;
        }
        // The magnitude through unsigned arithmetic, which is defined for every qint64.
        spec.text = QString::number(change.places < 0 ? 0 - quint64(change.places) : quint64(change.places));
        spec.symbol = change.places > 0 ? QStringLiteral("arrow.up") : QStringLiteral("arrow.down");
        spec.tone = change.places > 0 ? Style::Tone::green : Style::Tone::red;
        spec.weight = QFont::Medium;
        return spec;
    case Kind::newRanking:
        spec.text = QStringLiteral("New");
        spec.symbol = QStringLiteral("sparkles");
        spec.tone = Style::Tone::green;
        return spec;
    case Kind::lost:
        spec.text = QStringLiteral("Lost");
        spec.symbol = QStringLiteral("xmark");
        spec.tone = Style::Tone::red;
        return spec;
    case Kind::none:
        break;
    }
    return absent();
}
