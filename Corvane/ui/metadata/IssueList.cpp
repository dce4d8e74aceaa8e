#include "ui/metadata/IssueList.h"

#include "ui/cells/Glyphs.h"
#include "ui/metadata/MetadataEditor.h"

#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QTextLayout>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

using MetadataOptimizer::Issue;

QFont messageFont()
{
    return Style::font(Style::TextSize::callout);
}

QFont captionFont()
{
    return Style::font(Style::TextSize::caption);
}

// Lays the text out in lines of the width, wrapped at spaces and, where one word is longer than
// the line, inside the word: the keyword field may hold a long word, which must not widen the
// pane. Returns the lines' height.
int layOut(QTextLayout &layout, int width)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal height = 0;
    for (auto line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(std::max(width, 1));
        line.setPosition({0, height});
        height += line.height();
    }
    layout.endLayout();
    return int(std::ceil(height));
}

int iconWidth()
{
    const QFontMetrics metrics(messageFont());
    return std::max(metrics.horizontalAdvance(Glyphs::text(u"exclamationmark.octagon.fill")),
                    metrics.horizontalAdvance(Glyphs::text(u"exclamationmark.triangle.fill")));
}

// Entries kept per text width before they are dropped; distinct messages are few in practice.
constexpr qsizetype maxRememberedHeights = 20000;

}

IssueList::Row IssueList::row(const Issue &issue)
{
    const bool over = issue.kind == MetadataOptimizer::IssueKind::overLimit;
    return {over ? QStringLiteral("exclamationmark.octagon.fill") : QStringLiteral("exclamationmark.triangle.fill"),
            over ? Style::Tone::red : Style::Tone::orange, issue.message, MetadataEditor::issueAdvice(issue),
            issue.wastedChars >= 1 ? QStringLiteral("−") + QString::number(issue.wastedChars) : QString()};
}

IssueList::IssueList(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("issueList"));
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

void IssueList::setIssues(const QList<Issue> &issues)
{
    if (issues == m_issues)
        return;
    m_issues = issues;
    m_topsWidth = -1;
    updateGeometry();
    update();
}

int IssueList::heightForWidth(int width) const
{
    return tops(width).constLast();
}

QSize IssueList::sizeHint() const
{
    const int width = std::max(this->width(), minimumSizeHint().width());
    return {width, heightForWidth(width)};
}

QSize IssueList::minimumSizeHint() const
{
    // As narrow as an issue of a long word may need; it wraps.
    return {QFontMetrics(messageFont()).averageCharWidth() * 8 + iconWidth() + gap, 0};
}

QRect IssueList::rowRect(qsizetype index) const
{
    const auto &top = tops(width());
    if (index < 0 || index >= m_issues.size())
        return {};
    return {0, top[index], width(), top[index + 1] - top[index] - (index + 1 < m_issues.size() ? spacing : 0)};
}

qsizetype IssueList::rowAt(QPoint point) const
{
    const auto &top = tops(width());
    const auto after = std::upper_bound(top.cbegin(), top.cend(), point.y());
    const qsizetype index = after - top.cbegin() - 1;
    if (index < 0 || index >= m_issues.size() || !rowRect(index).contains(point))
        return -1;
    return index;
}

QRect IssueList::messageRect(qsizetype index) const
{
    const QRect rect = rowRect(index);
    if (!rect.isValid())
        return {};
    const Row shown = row(m_issues[index]);
    const int textWidth = this->textWidth(shown, rect.width());
    return {m_iconWidth + gap, rect.top(), textWidth,
            textHeight(shown.message, messageFont(), textWidth, m_messageHeights[textWidth])};
}

const QList<int> &IssueList::tops(int width) const
{
    if (width == m_topsWidth)
        return m_tops;
    if (width != m_heightsWidth) {
        m_messageHeights.clear();
        m_adviceHeights.clear();
        m_heightsWidth = width;
    }
    m_topsWidth = width;
    m_iconWidth = iconWidth();
    m_iconHeight = QFontMetrics(messageFont()).height();
    m_caption = QFontMetrics(captionFont());
    m_tops.resize(m_issues.size() + 1);
    int y = 0;
    for (qsizetype i = 0; i < m_issues.size(); ++i) {
        m_tops[i] = y;
        y += rowHeight(m_issues[i], width) + (i + 1 < m_issues.size() ? spacing : 0);
    }
    m_tops.last() = y;
    return m_tops;
}

int IssueList::textWidth(const Row &row, int width) const
{
    int taken = m_iconWidth + gap;
    if (!row.wasted.isEmpty())
        taken += gap + m_caption.horizontalAdvance(row.wasted);
    return std::max(width - taken, 1);
}

int IssueList::rowHeight(const Issue &issue, int width) const
{
    const Row shown = row(issue);
    const int textWidth = this->textWidth(shown, width);
    const int texts = textHeight(shown.message, messageFont(), textWidth, m_messageHeights[textWidth]) + 1
        + textHeight(shown.advice, captionFont(), textWidth, m_adviceHeights[textWidth]);
    return std::max(texts, m_iconHeight);
}

int IssueList::textHeight(const QString &text, const QFont &font, int width, QHash<QString, int> &heights) const
{
    const auto found = heights.constFind(text);
    if (found != heights.cend())
        return *found;
    if (heights.size() >= maxRememberedHeights)
        heights.clear();
    QTextLayout layout(text, font);
    const int height = layOut(layout, width);
    heights.insert(text, height);
    return height;
}

QRect IssueList::wastedRect(const Row &row, const QRect &rowRect) const
{
    if (row.wasted.isEmpty())
        return {};
    const int width = m_caption.horizontalAdvance(row.wasted);
    // On the first line's baseline.
    const int top = rowRect.top() + QFontMetrics(messageFont()).ascent() - m_caption.ascent();
    return {rowRect.right() + 1 - width, top, width, m_caption.height()};
}

bool IssueList::event(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_topsWidth = -1;
        m_heightsWidth = -1;
        updateGeometry();
    }
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const qsizetype index = rowAt(help->pos());
        const QRect mark = index < 0 ? QRect() : wastedRect(row(m_issues[index]), rowRect(index));
        if (mark.contains(help->pos())) {
            QToolTip::showText(help->globalPos(), QStringLiteral("Characters wasted"), this, mark);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void IssueList::paintEvent(QPaintEvent *event)
{
    const auto &top = tops(width());
    const QRect exposed = event->rect();
    // Only the rows in view.
    auto first = std::upper_bound(top.cbegin(), top.cend(), exposed.top()) - top.cbegin() - 1;
    first = std::max<qsizetype>(first, 0);
    QPainter painter(this);
    const QPalette colours = palette();
    const QFont message = messageFont();
    const QFont caption = captionFont();
    const int textLeft = m_iconWidth + gap;
    for (qsizetype i = first; i < m_issues.size() && top[i] <= exposed.bottom(); ++i) {
        const Row shown = row(m_issues[i]);
        const QRect rect = rowRect(i);
        const int textWidth = this->textWidth(shown, rect.width());

        painter.setFont(message);
        painter.setPen(Style::color(shown.tone, colours));
        painter.drawText(QRect(0, rect.top(), textLeft, rect.height()), Qt::AlignLeft | Qt::AlignTop,
                         Glyphs::text(shown.symbol));

        painter.setPen(Style::color(Style::Tone::primary, colours));
        QTextLayout messageLayout(shown.message, message);
        const int messageHeight = layOut(messageLayout, textWidth);
        messageLayout.draw(&painter, QPointF(textLeft, rect.top()));

        painter.setPen(Style::color(Style::Tone::secondary, colours));
        QTextLayout adviceLayout(shown.advice, caption);
        layOut(adviceLayout, textWidth);
        adviceLayout.draw(&painter, QPointF(textLeft, rect.top() + messageHeight + 1));

        if (!shown.wasted.isEmpty()) {
            painter.setFont(caption);
            painter.drawText(wastedRect(shown, rect), Qt::AlignLeft | Qt::AlignTop, shown.wasted);
        }
    }
}
