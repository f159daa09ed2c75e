#include "host/mapview.h"

#include "engine/drawshape.h"
#include "engine/rastersource.h"
#include "host/hostcontroller.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {
// Screen distance below which a drag is taken as a click.
constexpr double kMinimumDrag = 3.0;
const QColor kBackground(48, 48, 52);
const QColor kDrawnColour(255, 214, 0);
const QColor kPointColour(230, 40, 40);
} // namespace

MapView::MapView(HostController& host, QWidget* parent) : QWidget(parent), m_host(host) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(200, 150);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void MapView::SetTool(Tool tool) {
    m_tool = tool;
    m_polygon.clear();
    m_dragStart.reset();
    setCursor(tool == Tool::Pan ? Qt::OpenHandCursor : Qt::CrossCursor);
    update();
}

void MapView::SetView(const ViewState& view) {
    if (!(view.zoom > 0.0) || !std::isfinite(view.zoom) || !std::isfinite(view.originX) ||
        !std::isfinite(view.originY))
        return;
    m_view = view;
    m_layer = m_host.ActiveRaster();
    update();
}

void MapView::ZoomToExtent() {
    const CRasterSource* raster = m_host.ActiveRaster();
    m_layer = raster;
    if (raster)
        m_view = FitView(width(), height(), raster->GetWidth(), raster->GetHeight());
    update();
}

void MapView::LayersChanged() {
    if (m_host.ActiveRaster() != m_layer)
        ZoomToExtent();
    else
        update();
}

void MapView::ZoomBy(double factor, QPointF anchor) {
    if (!(factor > 0.0))
        return;
    const double zoom = std::clamp(m_view.zoom * factor, 1e-6, 1e4);
    const QPointF image = screenToImage(anchor);
    ViewState v;
    v.zoom = zoom;
    v.originX = image.x() - anchor.x() / zoom;
    v.originY = image.y() - anchor.y() / zoom;
    SetView(v);
}

QPointF MapView::screenToImage(QPointF screen) const {
    return {m_view.originX + screen.x() / m_view.zoom, m_view.originY + screen.y() / m_view.zoom};
}

QPointF MapView::imageToScreen(QPointF image) const {
    return {(image.x() - m_view.originX) * m_view.zoom, (image.y() - m_view.originY) * m_view.zoom};
}

// The engine's image positions put integer values at pixel centres; the
// view's are pixel corners, half a pixel further.
std::optional<CPoint2D> MapView::ScreenToGround(QPointF screen) const {
    const CRasterSource* raster = m_host.ActiveRaster();
    if (!raster)
        return std::nullopt;
    const QPointF image = screenToImage(screen);
    return raster->ImageToGround(CPoint2D(image.x() - 0.5, image.y() - 0.5));
}

std::optional<QPointF> MapView::GroundToScreen(const CPoint2D& ground) const {
    const CRasterSource* raster = m_host.ActiveRaster();
    if (!raster)
        return std::nullopt;
    const CPoint2D image = raster->GroundToImage(ground);
    return imageToScreen(QPointF(image.x + 0.5, image.y + 0.5));
}

void MapView::paintEvent(QPaintEvent*) {
    if (m_host.ActiveRaster() != m_layer)
        ZoomToExtent();
    QPainter painter(this);
    painter.fillRect(rect(), kBackground);
    if (const HostLayer* layer = m_host.ActiveLayer()) {
        const ReadWindow window = ComputeReadWindow(m_view, width(), height(), layer->source->GetWidth(),
                                                    layer->source->GetHeight());
        if (window != m_cacheWindow || m_cacheLayer != layer->source.get()) {
            m_cache = RenderReadWindow(*layer->source, layer->display, window);
            m_cacheWindow = window;
            m_cacheLayer = layer->source.get();
        }
        if (!m_cache.isNull())
            painter.drawImage(QRectF(window.screenX, window.screenY, window.screenWidth, window.screenHeight),
                              m_cache);
    }

    painter.setRenderHint(QPainter::Antialiasing);
    for (const auto& shape : m_host.DrawnShapes())
        if (shape->m_visible)
            paintShape(painter, *shape, true);
    for (const auto& shape : m_host.ShapeList())
        if (shape->m_visible)
            paintShape(painter, *shape, false);

    // Shapes being drawn.
    painter.setPen(QPen(kDrawnColour, 1.5, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    if (m_dragStart)
        painter.drawRect(QRectF(imageToScreen(*m_dragStart), m_cursor).normalized());
    if (!m_polygon.empty()) {
        QPolygonF line;
        for (const QPointF& p : m_polygon)
            line << imageToScreen(p);
        line << m_cursor;
        painter.drawPolyline(line);
    }
}

void MapView::paintShape(QPainter& painter, const CDrawShape& shape, bool drawn) const {
    QPolygonF screen;
    for (const CPoint2D& v : shape.GetVertices())
        if (auto p = GroundToScreen(v))
            screen << *p;
    if (screen.isEmpty())
        return;
    const QColor colour = drawn ? kDrawnColour : kPointColour;
    painter.setPen(QPen(colour, 2.0));
    QColor fill = colour;
    fill.setAlpha(50);
    switch (shape.GetType()) {
    case DRAWSHAPE_RECTANGLE:
        if (screen.size() >= 2) {
            painter.setBrush(fill);
            painter.drawRect(QRectF(screen[0], screen[1]).normalized());
        }
        break;
    case DRAWSHAPE_POLYGON:
        painter.setBrush(fill);
        painter.drawPolygon(screen);
        break;
    case DRAWSHAPE_POINT:
    default: {
        const QPointF c = screen[0];
        painter.setBrush(Qt::NoBrush);
        painter.drawLine(c + QPointF(-5, 0), c + QPointF(5, 0));
        painter.drawLine(c + QPointF(0, -5), c + QPointF(0, 5));
        painter.drawEllipse(c, 3.5, 3.5);
        break;
    }
    }
}

void MapView::mousePressEvent(QMouseEvent* event) {
    const QPointF pos = event->position();
    m_cursor = pos;
    const bool pan =
        event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && m_tool == Tool::Pan);
    if (pan) {
        m_panning = true;
        m_panStart = pos;
        m_panView = m_view;
        setCursor(Qt::ClosedHandCursor);
        return;
    }
    if (event->button() != Qt::LeftButton || !m_host.ActiveRaster())
        return;
    switch (m_tool) {
    case Tool::Rectangle:
        m_dragStart = screenToImage(pos);
        break;
    case Tool::Polygon:
        m_polygon.push_back(screenToImage(pos));
        update();
        break;
    case Tool::Point:
        addShape(DRAWSHAPE_POINT, {pos});
        break;
    case Tool::Pan:
        break;
    }
}

void MapView::mouseMoveEvent(QMouseEvent* event) {
    m_cursor = event->position();
    if (m_panning) {
        ViewState v = m_panView;
        v.originX -= (m_cursor.x() - m_panStart.x()) / v.zoom;
        v.originY -= (m_cursor.y() - m_panStart.y()) / v.zoom;
        SetView(v);
    } else if (m_dragStart || !m_polygon.empty()) {
        update();
    }
    const auto ground = ScreenToGround(m_cursor);
    emit cursorMoved(ground ? ground->x : 0.0, ground ? ground->y : 0.0, ground.has_value());
}

void MapView::mouseReleaseEvent(QMouseEvent* event) {
    m_cursor = event->position();
    if (m_panning && (event->button() == Qt::MiddleButton || event->button() == Qt::LeftButton)) {
        m_panning = false;
        setCursor(m_tool == Tool::Pan ? Qt::OpenHandCursor : Qt::CrossCursor);
        return;
    }
    if (event->button() == Qt::LeftButton && m_dragStart) {
        const QPointF start = imageToScreen(*m_dragStart);
        m_dragStart.reset();
        const QPointF d = m_cursor - start;
        if (std::abs(d.x()) >= kMinimumDrag && std::abs(d.y()) >= kMinimumDrag)
            addShape(DRAWSHAPE_RECTANGLE, {start, m_cursor});
        update();
    }
}

void MapView::mouseDoubleClickEvent(QMouseEvent* event) {
    // The first click of the pair has already placed the last vertex.
    if (event->button() == Qt::LeftButton && m_tool == Tool::Polygon)
        finishPolygon();
    else
        mousePressEvent(event);
}

void MapView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && (!m_polygon.empty() || m_dragStart)) {
        m_polygon.clear();
        m_dragStart.reset();
        update();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !m_polygon.empty()) {
        finishPolygon();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MapView::finishPolygon() {
    std::vector<QPointF> screen;
    for (const QPointF& p : m_polygon) {
        const QPointF s = imageToScreen(p);
        // A double click repeats its vertex; keep one.
        if (screen.empty() || QLineF(screen.back(), s).length() >= 1.0)
            screen.push_back(s);
    }
    m_polygon.clear();
    if (screen.size() >= 3)
        addShape(DRAWSHAPE_POLYGON, screen);
    update();
}

void MapView::addShape(int type, const std::vector<QPointF>& screenPoints) {
    std::vector<CPoint2D> vertices;
    for (const QPointF& p : screenPoints) {
        const auto g = ScreenToGround(p);
        if (!g)
            return;
        vertices.push_back(*g);
    }
    m_host.AddDrawnShape(std::make_unique<CDrawShape>(static_cast<DrawShapeType>(type), std::move(vertices)));
}

void MapView::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps != 0.0)
        ZoomBy(std::pow(1.25, steps), event->position());
    event->accept();
}

void MapView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_host.ActiveRaster() && event->oldSize().isValid() && event->oldSize().width() > 0 &&
        event->oldSize().height() > 0) {
        // Keep the centre of the view in place.
        const QPointF oldCentre(event->oldSize().width() / 2.0, event->oldSize().height() / 2.0);
        const QPointF image = screenToImage(oldCentre);
        ViewState v = m_view;
        v.originX = image.x() - width() / 2.0 / v.zoom;
        v.originY = image.y() - height() / 2.0 / v.zoom;
        m_view = v;
    } else {
        ZoomToExtent();
    }
}
