#pragma once

#include <QApplication>
#include <QHelpEvent>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QProxyStyle>
#include <QStringList>
#include <QStyleOption>
#include <QTextDocument>
#include <QTextItem>
#include <QToolTip>
#include <QWidget>

#include <climits>

struct RenderedText
{
    QString text;
    QPointF at; // the baseline's start, in the device's coordinates
    QRectF box;   // from ascent to descent over the advance, in the device's coordinates
    QRectF shown; // the part of `box` inside the clip
    int order;    // among the texts and primitives painted on the device
};

// A style element drawn, such as a sort arrow or a check box, recorded by RecordingStyle.
struct RenderedPrimitive
{
    QStyle::PrimitiveElement element;
    QRectF box; // in the device's coordinates
    QStyle::State state;
    int order;
};

// A paint device that keeps the texts painted on it, in painting order, instead of pixels. A
// widget rendered onto it tells which texts reach the screen and how often: a text painted
// twice, or not at all, shows in the list where a glance at pixels would miss it.
class TextRecordingDevice : public QPaintDevice
{
public:
    explicit TextRecordingDevice(QSize size) : m_size(size), m_engine(this) {}

    QList<RenderedText> drawn;
    QList<RenderedPrimitive> primitives;
    int painted = 0;

    QPaintEngine *paintEngine() const override { return &m_engine; }

    // The device that `painter` paints on, when it is one of these.
    static TextRecordingDevice *of(const QPainter *painter)
    {
        auto *engine = painter ? dynamic_cast<Engine *>(painter->paintEngine()) : nullptr;
        return engine ? engine->m_device : nullptr;
    }

    // The part of `logical` that `painter` leaves visible, in the device's coordinates.
    static QRectF visiblePart(const QPainter *painter, const QRectF &logical)
    {
        QRectF box = painter->deviceTransform().mapRect(logical);
        if (painter->hasClipping())
            box &= painter->deviceTransform().mapRect(painter->clipBoundingRect());
        if (const QRegion system = painter->paintEngine()->systemClip(); !system.isEmpty())
            box &= QRectF(system.boundingRect());
        return box;
    }

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
            return m_size.width();
        case PdmHeight:
            return m_size.height();
        case PdmWidthMM:
            return m_size.width() * 254 / 960;
        case PdmHeightMM:
            return m_size.height() * 254 / 960;
        case PdmNumColors:
            return INT_MAX;
        case PdmDepth:
            return 32;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        }
        return 0;
    }

private:
    // Takes every drawing call and keeps only the texts.
    class Engine : public QPaintEngine
    {
    public:
        explicit Engine(TextRecordingDevice *device) : QPaintEngine(AllFeatures), m_device(device) {}
        bool begin(QPaintDevice *) override { return true; }
        bool end() override { return true; }
        void updateState(const QPaintEngineState &state) override
        {
            if (state.state() & DirtyTransform)
                m_transform = state.transform();
        }
        void drawTextItem(const QPointF &p, const QTextItem &item) override
        {
            if (item.text().isEmpty())
                return;
            const QRectF ink(p.x(), p.y() - item.ascent(), item.width(), item.ascent() + item.descent());
            m_device->drawn.append(
                {item.text(), m_transform.map(p), m_transform.mapRect(ink), visiblePart(painter(), ink), m_device->painted++});
        }
        void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
        void drawImage(const QRectF &, const QImage &, const QRectF &, Qt::ImageConversionFlags) override {}
        void drawTiledPixmap(const QRectF &, const QPixmap &, const QPointF &) override {}
        void drawPath(const QPainterPath &) override {}
        void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
        void drawPolygon(const QPoint *, int, PolygonDrawMode) override {}
        void drawRects(const QRectF *, int) override {}
        void drawRects(const QRect *, int) override {}
        void drawLines(const QLineF *, int) override {}
        void drawLines(const QLine *, int) override {}
        void drawEllipse(const QRectF &) override {}
        void drawEllipse(const QRect &) override {}
        void drawPoints(const QPointF *, int) override {}
        void drawPoints(const QPoint *, int) override {}
        Type type() const override { return User; }

        TextRecordingDevice *m_device;

    private:
        QTransform m_transform;
    };

    QSize m_size;
    mutable Engine m_engine;
};

// The texts of the widget and its children as they are painted now, in painting order.
inline QList<RenderedText> renderedItems(QWidget *widget)
{
    TextRecordingDevice device(widget->size().expandedTo(QSize(1, 1)));
    widget->render(&device);
    return device.drawn;
}

inline QStringList renderedTexts(QWidget *widget)
{
    QStringList texts;
    for (const auto &item : renderedItems(widget))
        texts.append(item.text);
    return texts;
}

// The text a tooltip shows: one Qt takes for markup is read as such, and the lines a long one is
// wrapped into are read as the spaces they were.
inline QString tooltipShows(const QString &tooltip)
{
    if (!Qt::mightBeRichText(tooltip))
        return tooltip;
    QTextDocument document;
    document.setHtml(tooltip);
    return document.toRawText().replace(QChar::ParagraphSeparator, u' ').replace(QChar::LineSeparator, u' ').replace(u'\n', u' ');
}

// The tooltip that a pause of the pointer at this point of the widget shows.
inline QString tooltipAt(QWidget *widget, QPoint at)
{
    QHelpEvent help(QEvent::ToolTip, at, widget->mapToGlobal(at));
    QCoreApplication::sendEvent(widget, &help);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// The application's style with every primitive element drawn on a TextRecordingDevice written down,
// so that marks that are no text (sort arrows, check boxes) can be found in a rendering too.
class RecordingStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (auto *device = TextRecordingDevice::of(painter))
            device->primitives.append(
                {element, TextRecordingDevice::visiblePart(painter, option->rect), option->state, device->painted++});
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
};
