#pragma once

#include "keywords/MetadataOptimizer.h"
#include "ui/cells/Style.h"

#include <QFontMetrics>
#include <QHash>
#include <QList>
#include <QString>
#include <QWidget>

class QTextLayout;

// The issues of the metadata editor's analysis, one row each: an icon, the message over its
// advice, and the characters it wastes. The rows are drawn rather than built of widgets: a long
// keyword field holds thousands of issues, and a change must cost what the rows in view cost,
// not what all of them would. Each row stays reachable by scrolling the pane.
class IssueList : public QWidget
{
    Q_OBJECT
public:
    // What a row shows.
    struct Row
    {
        QString symbol;     // the icon's symbol name
        Style::Tone tone;   // the icon's colour
        QString message;
        QString advice;
        QString wasted;     // "−" and the characters wasted; empty when it wastes none
    };
    static Row row(const MetadataOptimizer::Issue &issue);

    static constexpr int spacing = 6;      // between rows
    static constexpr int gap = 8;          // between the icon, the texts and the mark

    explicit IssueList(QWidget *parent = nullptr);

    // An equal list changes nothing.
    void setIssues(const QList<MetadataOptimizer::Issue> &issues);
    const QList<MetadataOptimizer::Issue> &issues() const { return m_issues; }

    // Where the row lies at the list's current width.
    QRect rowRect(qsizetype index) const;
    // The row at the point, or -1.
    qsizetype rowAt(QPoint point) const;
    // Where the row's message lies within its row.
    QRect messageRect(qsizetype index) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    // The rows' tops at the width; the last entry is the height of all of them.
    const QList<int> &tops(int width) const;
    int rowHeight(const MetadataOptimizer::Issue &issue, int width) const;
    // The height of the text laid out in lines of the width, remembered per text and width.
    int textHeight(const QString &text, const QFont &font, int width, QHash<QString, int> &heights) const;
    int textWidth(const Row &row, int width) const;
    QRect wastedRect(const Row &row, const QRect &rowRect) const;

    QList<MetadataOptimizer::Issue> m_issues;
    // Measured with the rows' tops.
    mutable int m_iconWidth = 0;
    mutable int m_iconHeight = 0;
    mutable QFontMetrics m_caption{QFont()};
    mutable int m_topsWidth = -1;
    mutable QList<int> m_tops;
    // Text heights at the width of m_heightsWidth, by text width and text; many issues share a
    // message ("“photo” appears more than once …"), and the advices are few.
    mutable int m_heightsWidth = -1;
    mutable QHash<int, QHash<QString, int>> m_messageHeights;
    mutable QHash<int, QHash<QString, int>> m_adviceHeights;
};
