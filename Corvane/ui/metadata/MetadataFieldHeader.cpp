#include "ui/metadata/MetadataFieldHeader.h"

#include "support/Unicode.h"
#include "ui/cells/Glyphs.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QToolButton>

#include <algorithm>

MetadataFieldHeader::MetadataFieldHeader(const QString &title, int limit, QWidget *parent)
    : QWidget(parent), m_title(title), m_limit(limit), m_over(new QLabel(this)), m_count(new QLabel(this)),
      m_copy(new QToolButton(this))
{
    auto *heading = new QLabel(title, this);
    heading->setObjectName(QStringLiteral("fieldTitle"));
    heading->setFont(Style::font(Style::TextSize::body, QFont::DemiBold));
    heading->setTextFormat(Qt::PlainText);

    m_over->setObjectName(QStringLiteral("fieldOver"));
    m_over->setFont(Style::font(Style::TextSize::caption, QFont::Medium));
    Style::setTone(m_over, Style::Tone::red);

    m_count->setObjectName(QStringLiteral("fieldCount"));
    m_count->setFont(Style::font(Style::TextSize::caption));

    m_copy->setObjectName(QStringLiteral("copyButton"));
    m_copy->setIcon(Glyphs::icon(u"doc.on.doc"));
    m_copy->setText(QStringLiteral("Copy"));
    m_copy->setToolButtonStyle(Qt::ToolButtonIconOnly);
    m_copy->setAutoRaise(true);
    m_copy->setToolTip(copyHelp(title));
    connect(m_copy, &QToolButton::clicked, this, [this] { copy(m_text); });

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(heading);
    layout->addWidget(m_over);
    layout->addStretch();
    layout->addWidget(m_count);
    layout->addWidget(m_copy);
    setText({});
}

void MetadataFieldHeader::setText(const QString &text)
{
    if (text == m_text && !m_count->text().isEmpty())
        return;
    m_text = text;
    const auto count = Unicode::characterCount(text);
    m_over->setText(Glyphs::text(u"exclamationmark.octagon.fill") + u' ' + QString::number(count - m_limit)
                    + QStringLiteral(" over the limit"));
    m_over->setVisible(count > m_limit);
    m_count->setText(QString::number(count) + u'/' + QString::number(m_limit));
    retone(m_count, countTone(count, m_limit));
    m_count->setToolTip(leftHelp(count, m_limit));
    m_copy->setEnabled(!text.isEmpty());
}

Style::Tone MetadataFieldHeader::countTone(qsizetype count, int limit)
{
    if (count > limit)
        return Style::Tone::red;
    return count < limit * 9 / 10 ? Style::Tone::secondary : Style::Tone::orange;
}

QString MetadataFieldHeader::leftHelp(qsizetype count, int limit)
{
    return QString::number(std::max<qsizetype>(limit - count, 0)) + QStringLiteral(" characters left");
}

QString MetadataFieldHeader::copyHelp(const QString &title)
{
    return QStringLiteral("Copy the ") + title.toLower() + QStringLiteral(" to the clipboard");
}

void MetadataFieldHeader::copy(const QString &text)
{
    auto *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(text);
}

void MetadataFieldHeader::retone(QWidget *widget, Style::Tone tone)
{
    widget->setPalette(QPalette());
    Style::setTone(widget, tone);
}
