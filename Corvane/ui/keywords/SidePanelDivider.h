#pragma once

#include <QWidget>

#include <optional>

// The thin handle between the keyword pane and the rank-history panel. Dragging it resizes the
// panel, which stands to its right: a drag to the left widens it. The width lives in the
// settings ("historyPanelWidth"), so it holds for every app and across launches; a drag keeps
// it within the divider's range, while a width stored out of range stays until the first drag.
class SidePanelDivider : public QWidget
{
    Q_OBJECT
public:
    static constexpr double narrowest = 260;
    static constexpr double widest = 520;

    explicit SidePanelDivider(QWidget *parent = nullptr);

    QSize sizeHint() const override;

public Q_SLOTS:
    // A drag moved `translation` pixels to the right of where it began (negative: to the left).
    void dragChanged(double translation);
    void dragEnded();

Q_SIGNALS:
    // The panel's new width, written to the settings already.
    void widthChanged(double width);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    // The width when the current drag began; absent between drags.
    std::optional<double> m_start;
    // Where the button went down, in global coordinates; absent while no button is held.
    std::optional<double> m_pressX;
    bool m_dragging = false;
};
