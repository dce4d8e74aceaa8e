#include "ui/cells/Glyphs.h"

#include <QApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QPixmap>

#include <array>

namespace {

struct Glyph
{
    const char16_t *symbol;
    const char16_t *character;
    const char *themeName;
};

// Characters that the bundled fonts (DejaVu, Noto Color Emoji) draw.
constexpr std::array glyphs{
    Glyph{u"magnifyingglass", u"\U0001F50D", "edit-find"},
    Glyph{u"text.magnifyingglass", u"\U0001F50D", "edit-find"},
    Glyph{u"bell", u"\U0001F514", ""},
    Glyph{u"bell.badge", u"\U0001F514", ""},
    Glyph{u"app.badge", u"\U0001F4F1", ""},
    Glyph{u"sidebar.left", u"\u25E7", ""},
    Glyph{u"globe", u"\U0001F310", ""},
    Glyph{u"person.2", u"\U0001F465", ""},
    Glyph{u"plus", u"+", "list-add"},
    Glyph{u"plus.circle", u"\u2295", "list-add"},
    Glyph{u"plus.circle.fill", u"\u2295", "list-add"},
    Glyph{u"minus", u"\u2212", ""},
    Glyph{u"minus.circle", u"\u2296", "list-remove"},
    Glyph{u"xmark", u"\u2715", ""},
    Glyph{u"exclamationmark.triangle", u"\u26A0", "dialog-warning"},
    Glyph{u"exclamationmark.triangle.fill", u"\u26A0", "dialog-warning"},
    Glyph{u"exclamationmark.octagon.fill", u"\u26D4", "dialog-error"},
    Glyph{u"arrow.up", u"\u2191", ""},
    Glyph{u"arrow.down", u"\u2193", ""},
    Glyph{u"arrow.up.circle.fill", u"\u2B06", ""},
    Glyph{u"arrow.down.circle.fill", u"\u2B07", ""},
    Glyph{u"sparkles", u"\u2728", ""},
    Glyph{u"wand.and.stars", u"\u2728", ""},
    Glyph{u"chart.xyaxis.line", u"\U0001F4C8", ""},
    Glyph{u"stop.circle", u"\u23F9", "process-stop"},
    Glyph{u"checkmark", u"\u2713", ""},
    Glyph{u"checkmark.circle.fill", u"\u2714", ""},
    Glyph{u"checkmark.seal", u"\u2713", ""},
    Glyph{u"checklist", u"\u2611", ""},
    Glyph{u"star.fill", u"\u2605", ""},
    Glyph{u"star.slash", u"\u2606", ""},
    Glyph{u"line.3.horizontal.decrease.circle", u"\u2630", "view-filter"},
    Glyph{u"scissors", u"\u2702", "edit-cut"},
    Glyph{u"arrow.uturn.backward", u"\u21B6", "edit-undo"},
    Glyph{u"doc.on.doc", u"\u2750", "edit-copy"},
    Glyph{u"arrow.clockwise", u"\u21BB", "view-refresh"},
};

const Glyph *find(QStringView symbol)
{
    for (const auto &glyph : glyphs) {
        if (symbol == QStringView(glyph.symbol))
            return &glyph;
    }
    return nullptr;
}

QIcon drawn(const QString &character, const QColor &color)
{
    constexpr int edge = 32;
    QPixmap pixmap(edge, edge);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = QApplication::font();
    font.setPixelSize(edge * 3 / 4);
    painter.setFont(font);
    painter.setPen(color.isValid() ? color : QApplication::palette().color(QPalette::WindowText));
    painter.drawText(QRectF(0, 0, edge, edge), Qt::AlignCenter, character);
    return QIcon(pixmap);
}

}

QString Glyphs::text(QStringView symbol)
{
    const auto *glyph = find(symbol);
    return glyph ? QString::fromUtf16(glyph->character) : QString();
}

QIcon Glyphs::icon(QStringView symbol, const QColor &color)
{
    const auto *glyph = find(symbol);
    if (!glyph)
        return {};
    if (*glyph->themeName && QIcon::hasThemeIcon(QLatin1String(glyph->themeName)))
        return QIcon::fromTheme(QLatin1String(glyph->themeName));
    return drawn(QString::fromUtf16(glyph->character), color);
}
