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

QString mark(qsizetype wasted)
{
    return QStringLiteral("−") + QString::number(wasted);
}

// Text heights kept before they are dropped; distinct messages are few in practice.
constexpr qsizetype maxRememberedHeights = 20000;

}

size_t qHash(const IssueList::TextKey &key, size_t seed)
{
    return qHashMulti(seed, key.text, key.width, key.caption);
}

IssueList::Row IssueList::row(const Issue &issue)
{
    const bool over = issue.kind == MetadataOptimizer::IssueKind::overLimit;
    return {over ? QStringLiteral("exclamationmark.octagon.fill") : QStringLiteral("exclamationmark.triangle.fill"),
            over ? Style::Tone::red : Style::Tone::orange, issue.message, MetadataEditor::issueAdvice(issue),
            issue.wastedChars >= 1 ? mark(issue.wastedChars) : QString()};
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
    m_tops.clear();
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
    return {QFontMetrics(measures().message).averageCharWidth() * 8 + measures().iconWidth + gap, 0};
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
    const qsizetype index = std::upper_bound(top.cbegin(), top.cend(), point.y()) - top.cbegin() - 1;
    if (index < 0 || index >= m_issues.size() || !rowRect(index).contains(point))
        return -1;
    return index;
}

QRect IssueList::messageRect(qsizetype index) const
{
    const QRect rect = rowRect(index);
    if (!rect.isValid())
        return {};
    const Issue &issue = m_issues[index];
    const int width = textWidth(issue, rect.width());
    return {measures().iconWidth + gap, rect.top(), width, textHeight(issue.message, false, width)};
}

const IssueList::Measures &IssueList::measures() const
{
    if (!m_measures) {
        const QFont message = Style::font(Style::TextSize::callout);
        const QFont caption = Style::font(Style::TextSize::caption);
        const QFontMetrics metrics(message);
        const int icon = std::max(metrics.horizontalAdvance(Glyphs::text(u"exclamationmark.octagon.fill")),
                                  metrics.horizontalAdvance(Glyphs::text(u"exclamationmark.triangle.fill")));
        m_measures.emplace(Measures{message, caption, QFontMetrics(caption), icon, metrics.height(), metrics.ascent()});
    }
    return *m_measures;
}

const QList<int> &IssueList::tops(int width) const
{
    const auto found = m_tops.constFind(width);
    if (found != m_tops.cend())
        return *found;
    // A layout pass asks for a few widths in turn; more are not worth keeping.
    if (m_tops.size() >= 4)
        m_tops.clear();
    QList<int> tops(m_issues.size() + 1);
    int y = 0;
    for (qsizetype i = 0; i < m_issues.size(); ++i) {
        tops[i] = y;
        y += rowHeight(m_issues[i], width) + (i + 1 < m_issues.size() ? spacing : 0);
    }
    tops.last() = y;
    return *m_tops.insert(width, std::move(tops));
}

int IssueList::markWidth(qsizetype wasted) const
{
    auto found = m_markWidths.constFind(wasted);
    if (found == m_markWidths.cend())
        found = m_markWidths.insert(wasted, measures().captionMetrics.horizontalAdvance(mark(wasted)));
    return *found;
}

int IssueList::textWidth(const Issue &issue, int width) const
{
    int taken = measures().iconWidth + gap;
    if (issue.wastedChars >= 1)
        taken += gap + markWidth(issue.wastedChars);
    return std::max(width - taken, 1);
}

int IssueList::rowHeight(const Issue &issue, int width) const
{
    const int texts = textWidth(issue, width);
    const int height = textHeight(issue.message, false, texts) + 1
        + textHeight(MetadataEditor::issueAdvice(issue), true, texts);
    return std::max(height, measures().iconHeight);
}

int IssueList::textHeight(const QString &text, bool caption, int width) const
{
    const TextKey key{text, width, caption};
    const auto found = m_heights.constFind(key);
    if (found != m_heights.cend())
        return *found;
    if (m_heights.size() >= maxRememberedHeights)
        m_heights.clear();
    QTextLayout layout(text, caption ? measures().caption : measures().message);
    return *m_heights.insert(key, layOut(layout, width));
}

QRect IssueList::markRect(const Issue &issue, const QRect &rowRect) const
{
    if (issue.wastedChars < 1)
        return {};
    const auto &measures = this->measures();
    const int width = markWidth(issue.wastedChars);
    // On the first line's baseline.
    const int top = rowRect.top() + measures.messageAscent - measures.captionMetrics.ascent();
    return {rowRect.right() + 1 - width, top, width, measures.captionMetrics.height()};
}

bool IssueList::event(QEvent *event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) {
        m_measures.reset();
        m_markWidths.clear();
        m_heights.clear();
        m_tops.clear();
        updateGeometry();
    }
    if (event->type() == QEvent::ToolTip) {
        auto *help = static_cast<QHelpEvent *>(event);
        const qsizetype index = rowAt(help->pos());
        const QRect mark = index < 0 ? QRect() : markRect(m_issues[index], rowRect(index));
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
    const auto &measures = this->measures();
    const QRect exposed = event->rect();
    // Only the rows in view.
    const qsizetype first =
        std::max<qsizetype>(std::upper_bound(top.cbegin(), top.cend(), exposed.top()) - top.cbegin() - 1, 0);
    QPainter painter(this);
    const QPalette colours = palette();
    const int textLeft = measures.iconWidth + gap;
    for (qsizetype i = first; i < m_issues.size() && top[i] <= exposed.bottom(); ++i) {
        const Row shown = row(m_issues[i]);
        const QRect rect = rowRect(i);
        const int textWidth = this->textWidth(m_issues[i], rect.width());

        painter.setFont(measures.message);
        painter.setPen(Style::color(shown.tone, colours));
        painter.drawText(QRect(0, rect.top(), textLeft, rect.height()), Qt::AlignLeft | Qt::AlignTop,
                         Glyphs::text(shown.symbol));

        painter.setPen(Style::color(Style::Tone::primary, colours));
        QTextLayout message(shown.message, measures.message);
        const int messageHeight = layOut(message, textWidth);
        message.draw(&painter, QPointF(textLeft, rect.top()));

        painter.setPen(Style::color(Style::Tone::secondary, colours));
        QTextLayout advice(shown.advice, measures.caption);
        layOut(advice, textWidth);
        advice.draw(&painter, QPointF(textLeft, rect.top() + messageHeight + 1));

        if (!shown.wasted.isEmpty()) {
            painter.setFont(measures.caption);
            painter.drawText(markRect(m_issues[i], rect), Qt::AlignLeft | Qt::AlignTop, shown.wasted);
        }
    }
}
