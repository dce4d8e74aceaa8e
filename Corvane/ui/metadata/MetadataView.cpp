#include "ui/metadata/MetadataView.h"

#include "ui/cells/ChildSignals.h"
#include "ui/metadata/MetadataEditor.h"
#include "ui/metadata/MetadataFieldsPane.h"
#include "ui/metadata/TargetKeywordPane.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>

#include <algorithm>

namespace {

// Narrower than the ideal panes, so that both fit beside the sidebar at the window's smallest size.
constexpr int fieldsMinimum = 320;
constexpr int fieldsIdeal = 460;
constexpr int targetsMinimum = 360;

}

MetadataView::MetadataView(ASOStore *store, QString appleAppId, QString country, QWidget *parent)
    : QWidget(parent),
      m_editor(new MetadataEditor(store, std::move(appleAppId), std::move(country), this)),
      m_splitter(new QSplitter(Qt::Horizontal, this)),
      m_scroll(new QScrollArea(m_splitter)),
      m_fields(new MetadataFieldsPane(m_editor)),
      m_targets(new TargetKeywordPane(m_editor, m_splitter))
{
    setObjectName(QStringLiteral("metadataView"));
    m_scroll->setObjectName(QStringLiteral("metadataFieldsScroll"));
    m_scroll->setWidget(m_fields);
    m_scroll->setWidgetResizable(true);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_scroll->setFrameShape(QFrame::NoFrame);
    fitFieldsMinimum();
    // Its header row does not wrap.
    m_targets->setMinimumWidth(std::max(targetsMinimum, m_targets->minimumSizeHint().width()));
    m_splitter->setObjectName(QStringLiteral("metadataSplitter"));
    m_splitter->addWidget(m_scroll);
    m_splitter->addWidget(m_targets);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({fieldsIdeal, 10000});
    connect(m_splitter, &QSplitter::splitterMoved, this, [this] { m_splitMoved = true; });

    // The pane's height follows its width (wrapped text, rows of chips); the scroll area measures
    // it again whenever the pane's layout changes, not only when the area is resized.
    m_fields->installEventFilter(this);

    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_splitter);

    // Shown now: targets are chosen for a draft that has never had any.
    m_editor->applyDefaultTargets();
}

MetadataView::~MetadataView()
{
    ChildSignals::disconnectFrom(this);
}

bool MetadataView::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_fields && event->type() == QEvent::LayoutRequest) {
        fitFieldsMinimum();
        QCoreApplication::postEvent(m_scroll, new QEvent(QEvent::LayoutRequest));
    }
    return QWidget::eventFilter(watched, event);
}

void MetadataView::fitFieldsMinimum()
{
    // The pane scrolls only up and down: narrower than its rows that cannot wrap (the action row
    // grows by its Undo button), the splitter would cut them off at the right.
    const int content = m_fields->unwrappedWidth() + m_scroll->verticalScrollBar()->sizeHint().width()
        + 2 * m_scroll->frameWidth();
    m_scroll->setMinimumWidth(std::max(fieldsMinimum, content));
}

void MetadataView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (!m_splitMoved)
        splitToFit();
}

void MetadataView::splitToFit()
{
    // The fields pane yields, down to its minimum, until the target table has the room to show
    // every column whole; beyond that it keeps its ideal width and the table takes the rest.
    const int room = m_splitter->width() - m_splitter->handleWidth();
    if (room <= 0)
        return;
    const int fields = std::clamp(room - m_targets->neededWidth(), m_scroll->minimumWidth(),
                                  std::max(fieldsIdeal, m_scroll->minimumWidth()));
    m_splitter->setSizes({fields, room - fields});
}

void MetadataView::setCountry(const QString &country)
{
    m_editor->setCountry(country);
}
