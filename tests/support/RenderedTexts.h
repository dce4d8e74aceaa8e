#pragma once

#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QStringList>
#include <QTextItem>
#include <QWidget>

#include <climits>

struct RenderedText
{
    QString text;
    QPointF at; // the baseline's start, in the device's coordinates
};

// A paint device that keeps the texts painted on it, in painting order, instead of pixels. A
// widget rendered onto it tells which texts reach the screen and how often: a text painted
// twice, or not at all, shows in the list where a glance at pixels would miss it.
class TextRecordingDevice : public QPaintDevice
{
public:
    explicit TextRecordingDevice(QSize size) : m_size(size), m_engine(this) {}

    QList<RenderedText> drawn;

    QPaintEngine *paintEngine() const override { return &m_engine; }

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
            if (!item.text().isEmpty())
                m_device->drawn.append({item.text(), m_transform.map(p)});
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

    private:
        TextRecordingDevice *m_device;
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
