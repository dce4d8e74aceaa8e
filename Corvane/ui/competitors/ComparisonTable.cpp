#include "ui/competitors/ComparisonTable.h"

#include "store/ASOStore.h"
#include "ui/competitors/CompetitorHeader.h"
#include "ui/competitors/CompetitorKeywordModel.h"
#include "ui/competitors/CompetitorKeywordTable.h"

#include <QFrame>
#include <QVBoxLayout>

ComparisonTable::ComparisonTable(ASOStore *store, QString appleAppId, QString competitorId, QString country,
                                 QWidget *parent)
    : QWidget(parent), m_store(store), m_appleAppId(std::move(appleAppId)), m_competitorId(std::move(competitorId)),
      m_country(std::move(country)), m_header(new CompetitorHeader(this)),
      m_table(new CompetitorKeywordTable(CompetitorKeywordTable::Selection::none, this))
{
    setObjectName(QStringLiteral("comparisonTable"));
    m_table->setSort(CompetitorKeywordModel::difference, Qt::AscendingOrder);
    auto *line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_header);
    layout->addWidget(line);
    layout->addWidget(m_table, 1);
    reload();
}

void ComparisonTable::reload()
{
    const auto app = m_store ? m_store->app(m_appleAppId) : std::nullopt;
    const auto competitor = m_store ? m_store->app(m_competitorId) : std::nullopt;
    QList<CompetitorKeywordRow> rows;
    if (app && competitor)
        rows = m_store->comparisonRows(*app, *competitor, m_country);
    if (competitor) {
        m_header->set(*competitor, rows);
        m_table->setCompetitorName(competitor->name);
    }
    m_table->setRows(std::move(rows));
}
