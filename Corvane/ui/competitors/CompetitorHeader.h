#pragma once

#include "workflows/CompetitorKeywordRow.h"

#include <QList>
#include <QWidget>

class AppIconView;
class ElidingLabel;
class QLabel;
struct TrackedApp;

// The comparison's header: the competitor's icon, name and maker, and three tiles counting the
// keywords where the app is ahead, behind, and where both apps rank. A name or maker too long for
// the room the tiles leave is cut with "…", whole in its tooltip.
class CompetitorHeader : public QWidget
{
    Q_OBJECT
public:
    struct Tally
    {
        int ahead = 0;
        int behind = 0;
        // Ties count here only.
        int bothRanked = 0;
        bool operator==(const Tally &) const = default;
    };
    static Tally tally(const QList<CompetitorKeywordRow> &rows);

    explicit CompetitorHeader(QWidget *parent = nullptr);

    void set(const TrackedApp &competitor, const QList<CompetitorKeywordRow> &rows);

private:
    AppIconView *m_icon;
    ElidingLabel *m_name;
    ElidingLabel *m_caption;
    QLabel *m_counts[3];
};
