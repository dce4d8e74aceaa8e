#pragma once

#include <QImage>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <optional>

class IconLoader;

// An app's icon as a rounded square of the given edge: the artwork once loaded, a grey
// placeholder while it loads, when it fails and when there is no address.
class AppIconView : public QWidget
{
    Q_OBJECT
public:
    // `loader` defaults to the application's shared one.
    AppIconView(const std::optional<QUrl> &url, int size, QWidget *parent = nullptr, IconLoader *loader = nullptr);

    void setUrl(const std::optional<QUrl> &url);
    std::optional<QUrl> url() const { return m_url; }
    int iconSize() const { return m_size; }
    // Whether the artwork (rather than the placeholder) is shown.
    bool showsImage() const { return !m_image.isNull(); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // Draws the icon into `square`, the placeholder when `image` is null; for delegates too.
    static void paintIcon(QPainter *painter, const QRectF &square, const QImage &image, const QPalette &palette);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void loaded(const QUrl &url);

    QPointer<IconLoader> m_loader;
    std::optional<QUrl> m_url;
    int m_size;
    QImage m_image;
};
