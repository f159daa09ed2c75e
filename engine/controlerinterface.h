#pragma once
// The host application's interface, as the library's windows call it. The
// host implements it; the library never owns it.

#include "engine/geometry.h"

#include <vector>

class CGISDataSource;
class CDrawShape; // engine/drawshape.h: the host's shapes, with their visibility flag

class IControlerInterface {
public:
    virtual ~IControlerInterface() = default;

    // The host redraws its map view.
    virtual void RedrawView() = 0;
    // The data source of the active layer, or null. Owned by the host.
    virtual CGISDataSource* GetActiveDataSource() = 0;
    // Appends the shapes the user has drawn (owned by the host) to *shapes.
    virtual void GetDrawShapes(std::vector<CDrawShape*>* shapes) = 0;
    // Number of shapes in the host's shape list.
    virtual int GetShapeCount() = 0;
    // The shape at index (from 0) of the host's shape list, or null.
    virtual CDrawShape* GetShape(int index) = 0;
    // Appends a point shape at a ground position to the end of the shape list.
    virtual void AddPointShape(CPoint2D position, int style) = 0;
    // The host takes note that shape visibility has changed.
    virtual void RefreshShapes(int flag) = 0;
};
