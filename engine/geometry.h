#pragma once
// Plain geometry values shared by the raster engine, the windows and the host.

struct CPoint2D {
    double x = 0.0;
    double y = 0.0;
    CPoint2D() = default;
    CPoint2D(double px, double py) : x(px), y(py) {}
    bool operator==(const CPoint2D&) const = default;
};
