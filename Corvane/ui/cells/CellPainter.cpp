#include "ui/cells/CellPainter.h"
#include <QStyleOptionViewItem>
#include <QStyle>
#include <QApplication>

#include "ui/cells/Glyphs.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>

namespace {

constexpr int gaugeWidth = 36;
constexpr int gaugeHeight = 5;
constexpr int capsulePadX = 6;
constexpr int capsulePadY = 2;

struct Layout
{
    QFont font;
    QFont detailFont;
    QString symbol;
    int symbolWidth = 0;
    int textWidth = 0;
    int detailWidth = 0;
    int textHeight = 0;
    int detailHeight = 0;
    QSize size;
};

int advance(const QFontMetrics &metrics, const QString &text)
{
    // One pixel more than the advance, since rounded advances can fall short of the ink.
    return text.isEmpty() ? 0 : metrics.horizontalAdvance(text) + 1;
}

Layout layoutOf(const CellContent &content)
{
    Layout layout;
    layout.font = Style::font(content.size, content.weight);
    layout.detailFont = Style::font(Style::TextSize::caption2);
    layout.symbol = Glyphs::text(content.symbol);
    const QFontMetrics metrics(layout.font);
    const QFontMetrics detailMetrics(layout.detailFont);
    layout.symbolWidth = advance(metrics, layout.symbol);
    layout.textWidth = advance(metrics, content.text);
    layout.detailWidth = advance(detailMetrics, content.detail);
    layout.textHeight = metrics.height();
    layout.detailHeight = content.detail.isEmpty() ? 0 : detailMetrics.height();

    QList<int> widths;
    if (content.gauge)
        widths << gaugeWidth;
    if (layout.symbolWidth > 0)
        widths << layout.symbolWidth;
    if (layout.textWidth > 0)
        widths << layout.textWidth;
    if (layout.detailWidth > 0)
        widths << layout.detailWidth;
    int width = 0;
    for (int w : widths)
        width += w;
    width += content.spacing * std::max<int>(0, int(widths.size()) - 1);
    int height = std::max({layout.textHeight, layout.detailHeight, content.gauge ? gaugeHeight : 0});
    if (content.capsule) {
        width += 2 * capsulePadX;
        height += 2 * capsulePadY;
    }
    layout.size = QSize(width, height);
    return layout;
}

void drawGauge(QPainter *painter, const QRectF &box, qint64 value, const QColor &tint)
{
    QColor track = tint;
    track.setAlphaF(tint.alphaF() * 0.25);
    const qreal radius = box.height() / 2;
    painter->setPen(Qt::NoPen);
    painter->setBrush(track);
    painter->drawRoundedRect(box, radius, radius);
    if (value <= 0)
        return;
    QRectF filled = box;
    filled.setWidth(box.width() * double(value) / 100.0);
    // The fill keeps the track's rounded ends even when it is short.
    QPainterPath clip;
    clip.addRoundedRect(box, radius, radius);
    painter->save();
    painter->setClipPath(clip, Qt::IntersectClip);
    painter->setBrush(tint);
    painter->drawRoundedRect(filled, radius, radius);
    painter->restore();
}

}

CellPainter::Colors CellPainter::colors(const CellContent &content, const QPalette &palette, bool selected)
{
    Colors colors;
    if (!selected) {
        colors.text = Style::color(content.tone, palette);
        colors.detail = Style::color(Style::Tone::secondary, palette);
        if (content.capsule) {
            colors.capsule = colors.text;
            colors.capsule.setAlphaF(colors.text.alphaF() * 0.12f);
        }
        return colors;
    }
    colors.text = colors.detail = palette.color(QPalette::WindowText);
    if (content.capsule) {
        // The badge as on an unselected row, on an opaque fill of that row's background.
        QPalette usual = palette;
        usual.setColor(QPalette::WindowText, palette.color(QPalette::Text));
        const auto base = palette.color(QPalette::Base);
        const auto tone = Style::color(content.tone, usual);
        const auto over = [](const QColor &top, const QColor &bottom, double alpha) {
            return QColor::fromRgbF(float(bottom.redF() + (top.redF() - bottom.redF()) * alpha),
                                    float(bottom.greenF() + (top.greenF() - bottom.greenF()) * alpha),
                                    float(bottom.blueF() + (top.blueF() - bottom.blueF()) * alpha));
        };
        colors.capsule = over(tone, base, tone.alphaF() * 0.12);
        colors.text = Style::readable(over(tone, colors.capsule, tone.alphaF()), colors.capsule);
    }
    return colors;
}

QColor CellPainter::textColor(Style::Tone tone, const QPalette &palette, bool selected)
{
    return selected ? palette.color(QPalette::WindowText) : Style::color(tone, palette);
}

QSize CellPainter::sizeHint(const CellContent &content)
{
    return layoutOf(content).size;
}

void CellPainter::paint(QPainter *painter, const QRect &rect, const CellContent &content, const QPalette &palette,
                        Qt::Alignment alignment, bool selected)
{
    const Layout layout = layoutOf(content);
    int x = rect.left();
    if (alignment & Qt::AlignRight)
        x = rect.right() + 1 - layout.size.width();
    else if (alignment & Qt::AlignHCenter)
        x = rect.left() + (rect.width() - layout.size.width()) / 2;
    const qreal middle = rect.top() + rect.height() / 2.0;
    const auto drawn = colors(content, palette, selected);
    const QColor color = drawn.text;

    painter->save();
    painter->setClipRect(rect, Qt::IntersectClip);
    painter->setRenderHint(QPainter::Antialiasing);

    if (content.capsule) {
        const QRectF capsule(x, middle - layout.size.height() / 2.0, layout.size.width(), layout.size.height());
        painter->setPen(Qt::NoPen);
        painter->setBrush(drawn.capsule);
        painter->drawRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
        x += capsulePadX;
    }

    bool first = true;
    const auto place = [&](int width) {
        if (!first)
            x += content.spacing;
        first = false;
        const int left = x;
        x += width;
        return left;
    };

    if (content.gauge) {
        const int left = place(gaugeWidth);
        // On a selected row the gauge takes the text's colour: its own tint would vanish there.
        drawGauge(painter, QRectF(left, middle - gaugeHeight / 2.0, gaugeWidth, gaugeHeight), *content.gauge,
                  selected ? drawn.text : Style::color(content.gaugeTone, palette));
    }
    painter->setFont(layout.font);
    painter->setPen(color);
    const auto textBox = [&](int left, int width, int height) {
        return QRectF(left, middle - height / 2.0, width, height);
    };
    if (layout.symbolWidth > 0) {
        const int left = place(layout.symbolWidth);
        painter->drawText(textBox(left, layout.symbolWidth, layout.textHeight), Qt::AlignCenter, layout.symbol);
    }
    if (layout.textWidth > 0) {
        const int left = place(layout.textWidth);
        painter->drawText(textBox(left, layout.textWidth, layout.textHeight), Qt::AlignLeft | Qt::AlignVCenter, content.text);
    }
    if (layout.detailWidth > 0) {
        const int left = place(layout.detailWidth);
        painter->setFont(layout.detailFont);
        painter->setPen(drawn.detail);
        painter->drawText(textBox(left, layout.detailWidth, layout.detailHeight), Qt::AlignLeft | Qt::AlignVCenter,
                          content.detail);
    }
    painter->restore();
}

QPalette CellPainter::drawRowBackground(QPainter *painter, const QStyleOptionViewItem &option)
{
    QStyleOptionViewItem background = option;
    background.text.clear();
    background.icon = QIcon();
    background.palette = Style::readableSelection(option.palette);
    const QStyle *style = option.widget ? option.widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &background, painter, option.widget);

    QPalette palette = background.palette;
    if (option.state & QStyle::State_Selected) {
        const auto group = option.state & QStyle::State_Active ? QPalette::Active : QPalette::Inactive;
        palette.setColor(QPalette::WindowText, palette.color(group, QPalette::HighlightedText));
    }
    return palette;
}
