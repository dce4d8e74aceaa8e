#include "ui/alerts/AlertRow.h"

#include "ui/cells/CellPainter.h"

#include "clients/Storefront.h"
#include "ui/cells/Formatters.h"
#include "ui/cells/Glyphs.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/Style.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace {

constexpr qreal spacing = 10;
constexpr qreal symbolWidth = 20;
constexpr qreal dotSize = 7;
constexpr qreal padding = 2;

std::optional<RankAlert> alertOf(const QModelIndex &index)
{
    const QVariant value = index.data(AlertRow::alertRole);
    if (value.metaType() != QMetaType::fromType<RankAlert>())
        return std::nullopt;
    return value.value<RankAlert>();
}

QFont keywordFont(const QFont &base, bool isRead)
{
    QFont font = base;
    font.setWeight(isRead ? QFont::Normal : QFont::DemiBold);
    return font;
}

QFont captionFont(const QFont &base)
{
    QFont font = base;
    font.setPointSizeF(Style::font(Style::TextSize::caption).pointSizeF());
    return font;
}

QString flagText(const RankAlert &alert)
{
    return Storefront::named(alert.country).flag();
}

}

QString AlertRow::title(RankAlertKind kind)
{
    switch (kind) {
    case RankAlertKind::enteredTop10:
        return QStringLiteral("Entered top 10");
    case RankAlertKind::leftTop10:
        return QStringLiteral("Left top 10");
    case RankAlertKind::newRanking:
        return QStringLiteral("New ranking");
    case RankAlertKind::lostRanking:
        return QStringLiteral("Lost ranking");
    case RankAlertKind::movedUp:
        return QStringLiteral("Moved up");
    case RankAlertKind::movedDown:
        return QStringLiteral("Moved down");
    }
    return {};
}

QString AlertRow::symbol(RankAlertKind kind)
{
    switch (kind) {
    case RankAlertKind::enteredTop10:
        return QStringLiteral("star.fill");
    case RankAlertKind::leftTop10:
        return QStringLiteral("star.slash");
    case RankAlertKind::newRanking:
        return QStringLiteral("plus.circle.fill");
    case RankAlertKind::lostRanking:
        return QStringLiteral("minus.circle");
    case RankAlertKind::movedUp:
        return QStringLiteral("arrow.up.circle.fill");
    case RankAlertKind::movedDown:
        return QStringLiteral("arrow.down.circle.fill");
    }
    return {};
}

QString AlertRow::rankText(std::optional<qint64> rank)
{
    return rank ? QLatin1Char('#') + QString::number(*rank) : QStringLiteral("not ranked");
}

QString AlertRow::ranksText(const RankAlert &alert)
{
    return rankText(alert.fromRank) + QStringLiteral(" \u2192 ") + rankText(alert.toRank);
}

QString AlertRow::detailText(const RankAlert &alert)
{
    return alert.appName + QStringLiteral(" \u00B7 ") + title(alert.kind());
}

QString AlertRow::flagTooltip(const RankAlert &alert)
{
    return alert.country.toUpper();
}

AlertRow::Layout AlertRow::layout(const QRect &rect, const RankAlert &alert, const QFont &font)
{
    const QRectF area = QRectF(rect).adjusted(6, padding, -6, -padding);
    const QFontMetricsF body(font);
    const QFontMetricsF bold(keywordFont(font, false));
    const QFontMetricsF caption(captionFont(font));
    Layout parts;
    parts.symbol = QRectF(area.left(), area.top(), symbolWidth, area.height());

    // Right to left: the dot, the time, the ranks; the text block takes what is left.
    qreal right = area.right();
    parts.dot = QRectF(right - dotSize, area.center().y() - dotSize / 2, dotSize, dotSize);
    right -= dotSize + spacing;
    const qreal timeWidth = caption.horizontalAdvance(Formatters::shortTime(alert.createdAt));
    parts.time = QRectF(right - timeWidth, area.top(), timeWidth, area.height());
    right -= timeWidth + spacing;
    const qreal ranksWidth = body.horizontalAdvance(ranksText(alert));
    parts.ranks = QRectF(right - ranksWidth, area.top(), ranksWidth, area.height());
    right -= ranksWidth + spacing;

    const qreal left = parts.symbol.right() + spacing;
    const qreal textWidth = std::max<qreal>(0, right - left);
    const qreal firstHeight = bold.height();
    // The block is centred vertically as a whole.
    const qreal top = area.center().y() - (firstHeight + 2 + caption.height()) / 2;
    const qreal flagWidth = body.horizontalAdvance(flagText(alert));
    const qreal keywordWidth = std::min(QFontMetricsF(keywordFont(font, alert.isRead)).horizontalAdvance(alert.keywordDisplay),
                                        std::max<qreal>(0, textWidth - flagWidth - 6));
    parts.keyword = QRectF(left, top, keywordWidth, firstHeight);
    parts.flag = QRectF(parts.keyword.right() + 6, top, flagWidth, firstHeight);
    parts.detail = QRectF(left, top + firstHeight + 2, textWidth, caption.height());
    return parts;
}

void AlertRow::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const auto alert = alertOf(index);
    if (!alert) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    const QPalette palette = CellPainter::drawRowBackground(painter, opt);
    const auto parts = layout(opt.rect, *alert, opt.font);
    const auto kind = alert->kind();
    // A selected row draws everything in the selection's text colour, which reads on it.
    const bool selected = opt.state & QStyle::State_Selected;
    const auto color = [&](Style::Tone tone) { return CellPainter::textColor(tone, palette, selected); };
    painter->save();
    painter->setFont(opt.font);
    painter->setPen(color(RankAlertKinds::isImprovement(kind) ? Style::Tone::green : Style::Tone::red));
    painter->drawText(parts.symbol, Qt::AlignCenter, Glyphs::text(symbol(kind)));

    painter->setFont(keywordFont(opt.font, alert->isRead));
    painter->setPen(color(Style::Tone::primary));
    const QFontMetricsF keywordMetrics(painter->font());
    painter->drawText(parts.keyword, Qt::AlignLeft | Qt::AlignVCenter,
                      keywordMetrics.elidedText(alert->keywordDisplay, Qt::ElideRight, parts.keyword.width() + 1));
    painter->setFont(opt.font);
    painter->drawText(parts.flag, Qt::AlignLeft | Qt::AlignVCenter, flagText(*alert));

    painter->setFont(captionFont(opt.font));
    painter->setPen(color(Style::Tone::secondary));
    painter->drawText(parts.detail, Qt::AlignLeft | Qt::AlignVCenter,
                      QFontMetricsF(painter->font()).elidedText(detailText(*alert), Qt::ElideRight, parts.detail.width()));
    painter->setPen(color(Style::Tone::tertiary));
    painter->drawText(parts.time, Qt::AlignRight | Qt::AlignVCenter, Formatters::shortTime(alert->createdAt));

    painter->setFont(opt.font);
    painter->setPen(color(Style::Tone::secondary));
    painter->drawText(parts.ranks, Qt::AlignRight | Qt::AlignVCenter, ranksText(*alert));

    // A read row keeps the dot's space, so rows line up whatever their state.
    if (!alert->isRead) {
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(color(Style::Tone::accent));
        painter->drawEllipse(parts.dot);
    }
    painter->restore();
}

QSize AlertRow::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    // Only the type is looked at: the list asks every row for its height when it lays out.
    if (index.data(alertRole).metaType() != QMetaType::fromType<RankAlert>())
        return QStyledItemDelegate::sizeHint(option, index);
    if (m_height == 0 || option.font != m_heightFont) {
        m_heightFont = option.font;
        m_height = int(std::ceil(QFontMetricsF(keywordFont(option.font, false)).height() + 2 +
                                 QFontMetricsF(captionFont(option.font)).height() + 2 * padding + 4));
    }
    // The list stretches its one column to its width.
    return {0, m_height};
}

bool AlertRow::helpEvent(QHelpEvent *event, QAbstractItemView *view, const QStyleOptionViewItem &option,
                         const QModelIndex &index)
{
    const auto alert = alertOf(index);
    if (!alert || event->type() != QEvent::ToolTip)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    const auto parts = layout(option.rect, *alert, option.font);
    if (parts.flag.contains(event->pos())) {
        QToolTip::showText(event->globalPos(), PlainText::tooltip(flagTooltip(*alert)), view, parts.flag.toAlignedRect());
        return true;
    }
    QToolTip::hideText();
    return true;
}
