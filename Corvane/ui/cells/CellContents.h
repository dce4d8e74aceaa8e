#pragma once

#include "keywords/Ranking.h"
#include "model/PopularitySource.h"
#include "ui/cells/Style.h"

#include <QFont>
#include <QMetaType>
#include <QString>

#include <optional>

// What one small cell shows, decided without pixels: tables put it in CellContents::contentRole for
// CellDelegate, and the cell widgets paint it the same way (CellPainter).
struct CellContent
{
    QString text;                            // a word or a plain number; "—" when there is no value
    Style::Tone tone = Style::Tone::primary; // of the symbol and the text
    Style::TextSize size = Style::TextSize::body;
    QFont::Weight weight = QFont::Normal;
    QString symbol;                          // Glyphs name drawn before the text; empty: none
    QString tooltip;                         // plain text, escaped where shown; empty: none
    bool capsule = false;                    // text padded 6×2 on a capsule of the tone at 12 %
    std::optional<qint64> gauge;             // a 0–100 capacity bar before the text
    Style::Tone gaugeTone = Style::Tone::accent;
    QString detail;                          // a word after the text, caption 2, secondary
    int spacing = 0;                         // between the bar, the text and the detail word

    bool operator==(const CellContent &) const = default;
};

Q_DECLARE_METATYPE(CellContent)

namespace CellContents {

// The item-data role under which a model hands a CellContent to CellDelegate.
inline constexpr int contentRole = Qt::UserRole + 0x7c0;

// The state of a ranking reading; the sample size counts only for `notFoundInSample`.
CellContent stateBadge(RankingState state, std::optional<qint64> sampleSize);

// A keyword's popularity; shown only when both the value and its source are known.
CellContent popularity(std::optional<qint64> value, std::optional<PopularitySource> source);

// A difficulty score with its band.
CellContent difficulty(std::optional<qint64> value);

// The change of rank since the previous reading; never has a tooltip.
CellContent change(const Ranking::Change &change);

}
