#include "ui/cells/AppIconView.h"

#include "ui/cells/IconLoader.h"
#include "ui/cells/Style.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>

AppIconView::AppIconView(const std::optional<QUrl> &url, int size, QWidget *parent, IconLoader *loader)
    : QWidget(parent)
    , m_loader(loader ? loader : &IconLoader::shared())
    , m_size(size)
{
    setObjectName(QStringLiteral("appIcon"));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    connect(m_loader, &IconLoader::finished, this, &AppIconView::loaded);
    setUrl(url);
}

void AppIconView::setUrl(const std::optional<QUrl> &url)
{
    m_url = url;
    m_image = (url && m_loader) ? m_loader->image(*url) : QImage();
    update();
}

void AppIconView::loaded(const QUrl &url)
{
    if (!m_url || *m_url != url || !m_loader)
        return;
    m_image = m_loader->image(url);
    update();
}

QSize AppIconView::sizeHint() const
{
    return {m_size, m_size};
}

QSize AppIconView::minimumSizeHint() const
{
    return sizeHint();
}

void AppIconView::paintIcon(QPainter *painter, const QRectF &square, const QImage &image, const QPalette &palette)
{
    const qreal radius = square.width() * 0.225;
    QPainterPath shape;
    shape.addRoundedRect(square, radius, radius);

    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    if (image.isNull()) {
        painter->fillPath(shape, Style::color(Style::Tone::quaternary, palette));
    } else {
        painter->save();
        painter->setClipPath(shape, Qt::IntersectClip);
        painter->drawImage(square, image);
        painter->restore();
    }
    // A hairline inside the edge, so that it is not clipped away.
    const qreal width = 0.5;
    const QRectF inner = square.adjusted(width / 2, width / 2, -width / 2, -width / 2);
    painter->setPen(QPen(palette.color(QPalette::Mid), width));
    painter->setBrush(Qt::NoBrush);
    painter->drawRoundedRect(inner, radius - width / 2, radius - width / 2);
    painter->restore();
}

void AppIconView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    const qreal edge = std::min({qreal(m_size), qreal(width()), qreal(height())});
    const QRectF square((width() - edge) / 2, (height() - edge) / 2, edge, edge);
    paintIcon(&painter, square, m_image, palette());
}
