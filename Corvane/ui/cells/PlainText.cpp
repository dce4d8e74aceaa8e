#include "ui/cells/PlainText.h"

#include <QApplication>
#include <QEvent>
#include <QLayout>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStyle>
#include <QToolTip>

#include <algorithm>

QLabel *PlainText::label(QWidget *parent, const QString &text)
{
    auto *label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    return label;
}

QString PlainText::tooltip(const QString &text)
{
    if (!Qt::mightBeRichText(text))
        return text;
    // A tooltip wraps rich text at a width of its own guess, and breaks escaped markup inside its
    // words ("</" and "a>"); lines wrapped here at spaces and shown unwrapped avoid both. They are
    // at most as wide as Qt lets rich text grow.
    const QFontMetrics metrics(QToolTip::font());
    const int widest = 80 * metrics.horizontalAdvance(u'x');
    const int space = metrics.horizontalAdvance(u' ');
    QStringList lines;
    for (const auto &paragraph : text.split(u'\n')) {
        const auto words = paragraph.split(u' ');
        QString line = words.constFirst();
        int width = metrics.horizontalAdvance(line);
        for (qsizetype i = 1; i < words.size(); ++i) {
            const auto &word = words.at(i);
            const int advance = metrics.horizontalAdvance(word);
            // The space at a break ends the line; the rest of a run of spaces stays before it, so
            // that a line starts with a word. A word wider than a line gets a line of its own.
            if (!word.isEmpty() && width + space + advance > widest && !line.trimmed().isEmpty()) {
                lines.append(line);
                line = word;
                width = advance;
            } else {
                line += u' ' + word;
                width += space + advance;
            }
        }
        lines.append(line);
    }
    return QStringLiteral("<p style=\"white-space:pre\">") + lines.join(u'\n').toHtmlEscaped() + QStringLiteral("</p>");
}

QString PlainText::actionText(const QString &text)
{
    return QString(text).replace(u'&', QStringLiteral("&&"));
}

namespace {

// Room a title bar takes beside its title, on each side: close, minimise and maximise buttons.
constexpr int titleBarButtons = 3 * 28;

// Sizes the box as it is shown: its texts may have changed since it was built, and the box lays
// itself out again (new labels, a new layout) when they do.
class MessageBoxFit : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show)
            fit(static_cast<QMessageBox *>(watched));
        return false;
    }

    static void fit(QMessageBox *box)
    {
        box->setTextFormat(Qt::PlainText);
        auto *text = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"), Qt::FindDirectChildrenOnly);
        auto *informative =
            box->findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"), Qt::FindDirectChildrenOnly);
        if (informative)
            informative->setTextFormat(Qt::PlainText);
        if (!text)
            return;

        // The text column needs its longest line; the box needs its title.
        int lines = 0;
        for (const auto *label : {text, informative}) {
            if (!label)
                continue;
            const QFontMetrics metrics(label->font());
            for (const auto &line : label->text().split(u'\n'))
                lines = std::max(lines, metrics.horizontalAdvance(line) + 2);
        }
        QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
        titleFont.setBold(true);
        const int title = QFontMetrics(titleFont).horizontalAdvance(box->windowTitle()) + 2 * titleBarButtons;

        int besideText = 0;
        if (auto *layout = box->layout()) {
            const auto margins = layout->contentsMargins();
            besideText = margins.left() + margins.right();
        }
        const int spacing = box->style()->pixelMetric(QStyle::PM_LayoutHorizontalSpacing);
        besideText += 15 + 2 * std::max(spacing, 0);
        auto *icon = box->findChild<QLabel *>(QStringLiteral("qt_msgboxex_icon_label"), Qt::FindDirectChildrenOnly);
        if (icon && !icon->pixmap().isNull())
            besideText += icon->sizeHint().width();

        // As wide as the box may grow on this screen; a longer line wraps there.
        const int screen = box->screen() ? box->screen()->availableGeometry().width() : 1024;
        const int limit = screen <= 1024 ? screen : std::min(screen - 480, 1000);
        text->setMinimumWidth(std::clamp(std::max(lines, title - besideText), 0, std::max(limit - besideText, 0)));
    }
};

}

void PlainText::fitMessageBox(QMessageBox *box)
{
    box->setTextFormat(Qt::PlainText);
    box->installEventFilter(new MessageBoxFit(box));
}
