#pragma once

#include "keywords/MetadataOptimizer.h"
#include "ui/cells/Style.h"

#include <QFontMetrics>
#include <QHash>
#include <QList>
#include <QString>
#include <QWidget>

#include <optional>

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
    // Where the row's message lies.
    QRect messageRect(qsizetype index) const;

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // A text laid out at a width, in the message's font or the advice's: the key under which the
    // list remembers its height.
    struct TextKey
    {
        QString text;
        int width;
        bool caption;
        bool operator==(const TextKey &) const = default;
    };

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct Measures
    {
        QFont message;
        QFont caption;
        QFontMetrics captionMetrics;
        int iconWidth;
        int iconHeight;
        int messageAscent;
    };

    const Measures &measures() const;
    // The rows' tops at the width; the last entry is the height of all of them.
    const QList<int> &tops(int width) const;
    int rowHeight(const MetadataOptimizer::Issue &issue, int width) const;
    // The width left to the message and advice beside the icon and the mark.
    int textWidth(const MetadataOptimizer::Issue &issue, int width) const;
    // The height of the text laid out in lines of the width.
    int textHeight(const QString &text, bool caption, int width) const;
    int markWidth(qsizetype wasted) const;
    // Where the wasted-characters mark lies in the row; empty when the issue wastes none.
    QRect markRect(const MetadataOptimizer::Issue &issue, const QRect &rowRect) const;

    QList<MetadataOptimizer::Issue> m_issues;
    // What a change of issues leaves valid is kept: many issues share a message ("“photo”
    // appears more than once …") and the advices are few, so laying out thousands of rows costs
    // a look-up each.
    mutable std::optional<Measures> m_measures;
    mutable QHash<int, QList<int>> m_tops;
    mutable QHash<TextKey, int> m_heights;
    mutable QHash<qsizetype, int> m_markWidths;
};

size_t qHash(const IssueList::TextKey &key, size_t seed = 0);
