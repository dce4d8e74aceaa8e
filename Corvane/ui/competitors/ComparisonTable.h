#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

class ASOStore;
class CompetitorHeader;
class CompetitorKeywordTable;

// The "Compare" tab: the app against one competitor, keyword by keyword, over the app's
// keywords in one storefront; the header counts who leads. Holds the two apps' IDs and reads
// the rows from the store on reload().
class ComparisonTable : public QWidget
{
    Q_OBJECT
public:
    ComparisonTable(ASOStore *store, QString appleAppId, QString competitorId, QString country,
                    QWidget *parent = nullptr);

    CompetitorHeader *header() const { return m_header; }
    CompetitorKeywordTable *table() const { return m_table; }
    QString competitorId() const { return m_competitorId; }

    // Both take effect at the next reload(); the sort order stays through them.
    void setCompetitor(const QString &competitorId) { m_competitorId = competitorId; }
    void setCountry(const QString &country) { m_country = country; }
    void reload();

private:
    QPointer<ASOStore> m_store;
    const QString m_appleAppId;
    QString m_competitorId;
    QString m_country;
    CompetitorHeader *m_header;
    CompetitorKeywordTable *m_table;
};
