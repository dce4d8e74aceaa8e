#include "ui/competitors/CompetitorHeader.h"

#include "model/TrackedApp.h"
#include "ui/cells/AppIconView.h"
#include "ui/cells/ElidingControls.h"
#include "ui/cells/Style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

CompetitorHeader::Tally CompetitorHeader::tally(const QList<CompetitorKeywordRow> &rows)
{
    using Kind = KeywordGap::Lead::Kind;
    Tally tally;
    for (const auto &row : rows) {
        const auto &lead = row.lead;
        if (lead.kind == Kind::onlyMine || (lead.kind == Kind::both && lead.places > 0))
            ++tally.ahead;
        if (lead.kind == Kind::onlyTheirs || (lead.kind == Kind::both && lead.places < 0))
            ++tally.behind;
        if (lead.kind == Kind::both)
            ++tally.bothRanked;
    }
    return tally;
}

CompetitorHeader::CompetitorHeader(QWidget *parent)
    : QWidget(parent), m_icon(new AppIconView(std::nullopt, 36, this)), m_name(new ElidingLabel(this)),
      m_caption(new ElidingLabel(this))
{
    setObjectName(QStringLiteral("competitorHeader"));
    m_name->setObjectName(QStringLiteral("competitorName"));
    m_name->setFont(Style::font(Style::TextSize::body, QFont::DemiBold));
    m_caption->setObjectName(QStringLiteral("competitorCaption"));
    m_caption->setFont(Style::font(Style::TextSize::caption));
    Style::setTone(m_caption, Style::Tone::secondary);
    auto *text = new QVBoxLayout;
    text->setSpacing(2);
    text->addWidget(m_name);
    text->addWidget(m_caption);

    auto *tiles = new QHBoxLayout;
    tiles->setSpacing(22);
    const QStringList titles{QStringLiteral("Ahead"), QStringLiteral("Behind"), QStringLiteral("Both ranked")};
    const QStringList names{QStringLiteral("tileAhead"), QStringLiteral("tileBehind"), QStringLiteral("tileBothRanked")};
    const Style::Tone tones[3]{Style::Tone::green, Style::Tone::red, Style::Tone::primary};
    for (int i = 0; i < 3; ++i) {
        m_counts[i] = new QLabel(this);
        m_counts[i]->setObjectName(names[i]);
        auto font = Style::font(Style::TextSize::title2, QFont::DemiBold);
        font.setPointSizeF(font.pointSizeF() * 0.85);
        m_counts[i]->setFont(font);
        m_counts[i]->setAlignment(Qt::AlignRight);
        Style::setTone(m_counts[i], tones[i]);
        auto *label = new QLabel(titles[i], this);
        label->setFont(Style::font(Style::TextSize::caption));
        label->setAlignment(Qt::AlignRight);
        Style::setTone(label, Style::Tone::secondary);
        auto *tile = new QVBoxLayout;
        tile->setSpacing(2);
        tile->addWidget(m_counts[i]);
        tile->addWidget(label);
        tiles->addLayout(tile);
    }

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->setSpacing(12);
    layout->addWidget(m_icon);
    layout->addLayout(text, 1);
    layout->addLayout(tiles);
}

void CompetitorHeader::set(const TrackedApp &competitor, const QList<CompetitorKeywordRow> &rows)
{
    m_icon->setUrl(competitor.iconURL);
    m_name->setFullText(competitor.name);
    QStringList caption;
    for (const auto &part : {competitor.developerName, competitor.primaryGenre})
        if (part)
            caption.append(*part);
    m_caption->setFullText(caption.join(QStringLiteral(" · ")));
    const auto counts = tally(rows);
    m_counts[0]->setText(QString::number(counts.ahead));
    m_counts[1]->setText(QString::number(counts.behind));
    m_counts[2]->setText(QString::number(counts.bothRanked));
}
