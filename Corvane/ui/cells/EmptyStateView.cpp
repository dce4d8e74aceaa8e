#include "ui/cells/EmptyStateView.h"

#include "ui/cells/Glyphs.h"
#include "ui/cells/PlainText.h"
#include "ui/cells/Style.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

EmptyStateView::EmptyStateView(const QString &symbol, const QString &title, const QString &description,
                               QWidget *parent)
    : QWidget(parent)
    , m_symbol(PlainText::label(this))
    , m_title(PlainText::label(this))
    , m_description(PlainText::label(this))
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
    m_description->setWordWrap(true);
    for (auto *label : {m_symbol, m_title, m_description})
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
    setContent(symbol, title, description);
}

void EmptyStateView::setContent(const QString &symbol, const QString &title, const QString &description)
{
    m_symbol->setText(Glyphs::text(symbol));
    m_symbol->setVisible(!m_symbol->text().isEmpty());
    m_title->setText(title);
    m_description->setText(description);
    m_description->setVisible(!description.isEmpty());
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

void EmptyStateView::placeOverHost()
{
    if (!m_host)
        return;
    const int width = qMin(m_host->width() - 16, 320);
    const int height = qMin(m_host->height(), heightForWidth(width) > 0 ? heightForWidth(width) : sizeHint().height());
    setGeometry((m_host->width() - width) / 2, (m_host->height() - height) / 2, width, height);
    raise();
}
