#pragma once
// A shape in the host's map view, in ground coordinates: the shapes the user
// draws (rectangles, polygons) and the point shapes windows add. The host
// honours the one-byte visibility flag at its next redraw.

#include "engine/geometry.h"

#include <vector>

enum DrawShapeType {
    DRAWSHAPE_POINT = 1,
    DRAWSHAPE_RECTANGLE = 2, // two opposite corners
    DRAWSHAPE_POLYGON = 3,   // ring without the closing vertex
};

class CDrawShape {
public:
    CDrawShape(DrawShapeType type, std::vector<CPoint2D> vertices)
        : m_type(type), m_vertices(std::move(vertices)) {}
    virtual ~CDrawShape() = default;

    // A copy the caller owns; null for a null shape.
    static CDrawShape* CreateCopy(const CDrawShape* shape);

    DrawShapeType GetType() const { return m_type; }
    const std::vector<CPoint2D>& GetVertices() const { return m_vertices; }

    unsigned char m_visible = 1; // 1 shown, 0 hidden
    int m_style = 0;             // the host's drawing style

private:
    DrawShapeType m_type;
    std::vector<CPoint2D> m_vertices;
};
