#pragma once
// The map view: the active layer drawn at screen resolution, the drawn
// shapes and the shape list over it (shapes whose visibility flag is 0 are
// left out), pan (middle button, or left button in pan mode), zoom (wheel)
// and the drawing tools. Positions are image positions of the active layer
// in pixel-corner units (ViewState); shapes are stored in ground coordinates.

#include "engine/geometry.h"
#include "host/rendering.h"

#include <QImage>
#include <QPointF>
#include <QWidget>

#include <optional>
#include <vector>

class CDrawShape;
class CRasterSource;
class HostController;

class MapView : public QWidget {
    Q_OBJECT
public:
    enum class Tool { Pan, Rectangle, Polygon, Point };

    explicit MapView(HostController& host, QWidget* parent = nullptr);

    void SetTool(Tool tool);
    Tool CurrentTool() const { return m_tool; }

    const ViewState& View() const { return m_view; }
    void SetView(const ViewState& view);
    // Fits the active layer into the view.
    void ZoomToExtent();
    // Called when the layers change: a newly active layer is shown whole.
    void LayersChanged();
    // Zooms by the factor, keeping the image position under anchor in place.
    void ZoomBy(double factor, QPointF anchor);
    void ZoomIn() { ZoomBy(2.0, rect().center()); }
    void ZoomOut() { ZoomBy(0.5, rect().center()); }

    // Screen position to ground position through the active layer, and back;
    // nothing without an active layer.
    std::optional<CPoint2D> ScreenToGround(QPointF screen) const;
    std::optional<QPointF> GroundToScreen(const CPoint2D& ground) const;

    // The window of the last rendering (for tests: what was read, at what size).
    const ReadWindow& LastReadWindow() const { return m_cacheWindow; }
    // Vertices of the polygon being drawn.
    int PendingVertexCount() const { return static_cast<int>(m_polygon.size()); }

signals:
    // The cursor's ground position, or invalid when it is off the layer.
    void cursorMoved(double x, double y, bool valid);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointF screenToImage(QPointF screen) const;
    QPointF imageToScreen(QPointF image) const;
    void paintShape(class QPainter& painter, const CDrawShape& shape, bool drawn) const;
    void finishPolygon();
    void addShape(int type, const std::vector<QPointF>& screenPoints);

    HostController& m_host;
    const CRasterSource* m_layer = nullptr; // the layer the view state belongs to
    ViewState m_view;
    Tool m_tool = Tool::Pan;

    // Rendering cache: the image of the last read window.
    QImage m_cache;
    ReadWindow m_cacheWindow;
    const CRasterSource* m_cacheLayer = nullptr;

    // Interaction.
    bool m_panning = false;
    QPointF m_panStart;
    ViewState m_panView;
    std::optional<QPointF> m_dragStart; // image position where the rectangle started
    QPointF m_cursor;
    std::vector<QPointF> m_polygon; // image positions of the polygon being drawn
};
