#include "ui/cells/Style.h"

#include <QApplication>
#include <QHash>
#include <QToolButton>
#include <QWidget>

#include <algorithm>
#include <cmath>

QColor Style::color(Tone tone, const QPalette &palette)
{
    auto text = palette.color(QPalette::WindowText);
    const auto faded = [&text](double alpha) {
        auto color = text;
        color.setAlphaF(alpha);
        return color;
    };
    switch (tone) {
    case Tone::primary:
        return text;
    case Tone::secondary:
        return faded(0.55);
    case Tone::tertiary:
        return faded(0.3);
    case Tone::quaternary:
        return faded(0.1);
    case Tone::accent:
        return palette.color(QPalette::Highlight);
    case Tone::green:
        return QColor(0x24, 0x9a, 0x3e);
    case Tone::orange:
        return QColor(0xd9, 0x7a, 0x00);
    case Tone::red:
        return QColor(0xd7, 0x2c, 0x2c);
    }
    return text;
}

void Style::setTone(QWidget *widget, Tone tone)
{
    auto palette = widget->palette();
    const auto color = Style::color(tone, palette);
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Text, color);
    widget->setPalette(palette);
}

namespace {

double luminance(const QColor &color)
{
    const auto channel = [](double value) {
        return value <= 0.04045 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}

QColor mix(const QColor &from, const QColor &to, double share)
{
    return QColor::fromRgbF(float(from.redF() + (to.redF() - from.redF()) * share),
                            float(from.greenF() + (to.greenF() - from.greenF()) * share),
                            float(from.blueF() + (to.blueF() - from.blueF()) * share));
}

}

double Style::contrast(const QColor &a, const QColor &b)
{
    const double first = luminance(a) + 0.05;
    const double second = luminance(b) + 0.05;
    return std::max(first, second) / std::min(first, second);
}

QColor Style::readable(const QColor &color, const QColor &background, double ratio)
{
    if (contrast(color, background) >= ratio)
        return color;
    const QColor extreme = contrast(Qt::black, background) >= contrast(Qt::white, background) ? QColor(Qt::black)
                                                                                              : QColor(Qt::white);
    // The least step toward the extreme that reaches the ratio; the extreme itself reads best.
    for (int step = 1; step < 20; ++step) {
        const auto moved = mix(color, extreme, step / 20.0);
        if (contrast(moved, background) >= ratio)
            return moved;
    }
    return extreme;
}

QPalette Style::readableSelection(QPalette palette)
{
    // Asked for every cell painted, mostly with the same colours: each group's last answer is kept.
    struct Answer
    {
        QColor selection;
        QColor text;
        QColor readable;
    };
    static Answer last[2];
    for (const auto group : {QPalette::Active, QPalette::Inactive}) {
        auto &answer = last[group == QPalette::Active ? 0 : 1];
        const auto selection = palette.color(group, QPalette::Highlight);
        const auto text = palette.color(group, QPalette::HighlightedText);
        if (selection != answer.selection || text != answer.text || !answer.readable.isValid())
            answer = {selection, text, readable(selection, text)};
        palette.setColor(group, QPalette::Highlight, answer.readable);
    }
    return palette;
}

QFont Style::font(TextSize size, QFont::Weight weight)
{
    // Cells ask for their fonts at every paint; a font made once keeps its measured glyphs.
    static QHash<int, QFont> made;
    static QFont madeFrom;
    const auto application = QApplication::font();
    if (application != madeFrom) {
        madeFrom = application;
        made.clear();
    }
    const int key = int(size) * 1000 + int(weight);
    if (const auto found = made.constFind(key); found != made.cend())
        return *found;

    auto font = application;
    const double base = font.pointSizeF() > 0 ? font.pointSizeF() : 10.0;
    double scale = 1.0;
    switch (size) {
    case TextSize::body:
        break;
    case TextSize::callout:
        scale = 0.92;
        break;
    case TextSize::caption:
        scale = 0.85;
        break;
    case TextSize::caption2:
        scale = 0.78;
        break;
    case TextSize::title2:
        scale = 1.35;
        break;
    }
    font.setPointSizeF(base * scale);
    font.setWeight(weight);
    made.insert(key, font);
    return font;
}

void Style::setMenuButton(QToolButton *button)
{
    button->setPopupMode(QToolButton::InstantPopup);
    button->setStyleSheet(QStringLiteral("QToolButton { padding-right: 16px; }"
                                         "QToolButton::menu-indicator { subcontrol-origin: padding;"
                                         " subcontrol-position: center right; right: 2px; }"));
}
