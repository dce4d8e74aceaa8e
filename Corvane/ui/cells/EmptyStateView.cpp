#include "ui/cells/EmptyStateView.h"

#include "ui/cells/Glyphs.h"
#include "ui/cells/LayOutNow.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/Style.h"
#include "ui/cells/WrappingLabel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>
#include <initializer_list>

EmptyStateView::EmptyStateView(const QString &symbol, const QString &title, const QString &description,
                               QWidget *parent)
    : QWidget(parent)
    , m_symbol(PlainText::label(this))
    , m_title(new WrappingLabel(this))
    , m_description(new WrappingLabel(this))
    , m_actions(new QWidget(this))
{
    setObjectName(QStringLiteral("emptyState"));
    m_title->setObjectName(QStringLiteral("emptyStateTitle"));
    m_description->setObjectName(QStringLiteral("emptyStateDescription"));

    auto symbolFont = Style::font(Style::TextSize::title2);
    symbolFont.setPointSizeF(symbolFont.pointSizeF() * 2);
    m_symbol->setFont(symbolFont);
    Style::setTone(m_symbol, Style::Tone::secondary);
    m_title->setFont(Style::font(Style::TextSize::title2, QFont::DemiBold));
    Style::setTone(m_description, Style::Tone::secondary);
    // The title and the description each go on as many lines as they need: a title on one line,
    // centred, lost both ends where it was wider than the view.
    for (QLabel *label : std::initializer_list<QLabel *>{m_symbol, m_title, m_description})
        label->setAlignment(Qt::AlignCenter);

    auto *actions = new QHBoxLayout(m_actions);
    actions->setContentsMargins(0, 6, 0, 0);
    actions->addStretch();
    actions->addStretch();
    m_actions->hide();

    auto *layout = new QVBoxLayout(this);
    layout->addStretch();
    layout->addWidget(m_symbol);
    layout->addWidget(m_title);
    layout->addWidget(m_description);
    layout->addWidget(m_actions);
    layout->addStretch();
    m_margins = layout->contentsMargins();
    setContent(symbol, title, description);
}

void EmptyStateView::setContent(const QString &symbol, const QString &title, const QString &description)
{
    m_symbol->setText(Glyphs::text(symbol));
    m_title->setText(title);
    m_description->setText(description);
    setFit(m_fit, m_titleLines);
    // Texts of another length need another height, and may leave room for the symbol again.
    placeOverHost();
}

QString EmptyStateView::title() const
{
    return m_title->text();
}

QString EmptyStateView::description() const
{
    return m_description->text();
}

QPushButton *EmptyStateView::addAction(const QString &text)
{
    auto *button = new QPushButton(text, m_actions);
    addActionWidget(button);
    return button;
}

void EmptyStateView::addActionWidget(QWidget *widget)
{
    auto *layout = static_cast<QHBoxLayout *>(m_actions->layout());
    layout->insertWidget(layout->count() - 1, widget);
    m_actions->show();
}

void EmptyStateView::overlayOn(QWidget *host)
{
    m_host = host;
    setParent(host);
    host->installEventFilter(this);
    placeOverHost();
}

bool EmptyStateView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_host && event->type() == QEvent::Resize)
        placeOverHost();
    return QWidget::eventFilter(watched, event);
}

bool EmptyStateView::hasActions() const
{
    // Besides the stretches on either side.
    return m_actions->layout()->count() > 2;
}

void EmptyStateView::setFit(Fit fit, int titleLines)
{
    m_fit = fit;
    m_titleLines = titleLines;
    m_symbol->setVisible(!m_symbol->text().isEmpty() && fit == Fit::whole);
    m_title->setVisible(fit < Fit::actions);
    m_title->setMaximumLines(fit == Fit::cut ? titleLines : 0);
    // A title cut short reads whole in its tooltip.
    m_title->setToolTip(fit == Fit::cut ? PlainText::tooltip(m_title->text()) : QString());
    m_description->setVisible(!m_description->text().isEmpty() && fit < Fit::brief);
    m_actions->setVisible(hasActions() && fit < Fit::none);
    layout()->setContentsMargins(fit == Fit::whole ? m_margins : QMargins(m_margins.left(), 0, m_margins.right(), 0));
    layout()->invalidate();
}

int EmptyStateView::neededHeight(int width) const
{
    const int height = heightForWidth(width);
    return height > 0 ? height : sizeHint().height();
}

void EmptyStateView::placeOverHost()
{
    if (!m_host)
        return;
    // A short host, such as a pane at the window's least height, would squeeze the texts into
    // each other and under the buttons: the decorative symbol gives way first, then the texts
    // take the host's whole width so that they need fewer lines, then the description goes, as
    // the title and the actions say what it would. Past that what is left is still drawn whole:
    // the title gives up its last lines, then itself, as the actions say what it would, and last
    // the actions. A squeezed title drew its second line over the description, and a host cut
    // the foot of a state taller than itself.
    const int room = qMax(m_host->width() - 16, 1);
    const auto fits = [this](int width) { return neededHeight(width) <= m_host->height(); };
    // A narrow column, but one that breaks no word of the title and cuts no action where the host
    // has room for them: a long one-word name read badly in two pieces.
    const QFontMetricsF metrics(m_title->font());
    int widest = hasActions() ? m_actions->sizeHint().width() : 0;
    for (const auto &word : m_title->text().split(u' ', Qt::SkipEmptyParts))
        widest = qMax(widest, int(std::ceil(metrics.horizontalAdvance(word))) + 1);
    int width = qMin(room, qMax(320, widest + m_margins.left() + m_margins.right()));
    setFit(Fit::whole);
    if (!fits(width))
        setFit(Fit::compact);
    if (!fits(width))
        width = room;
    if (!fits(width))
        setFit(Fit::brief);
    for (int lines = m_title->lineCount(width - m_margins.left() - m_margins.right()) - 1; lines > 0 && !fits(width);
         --lines)
        setFit(Fit::cut, lines);
    if (!fits(width))
        setFit(Fit::actions);
    if (!fits(width))
        setFit(Fit::none);
    const int height = neededHeight(width);
    setGeometry((m_host->width() - width) / 2, qMax(0, (m_host->height() - height) / 2), width, height);
    // The parts at once in the places of this fit: a state that keeps its size gets no resize
    // that would place them, and a frame would draw them where the former fit had them.
    layOutNow(this);
    raise();
}
