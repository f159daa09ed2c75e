#pragma once
// The host's state behind IControlerInterface: the open rasters (layers,
// one of them active), the shapes the user draws, and the shape list that
// windows fill with point shapes. Drawn shapes and the shape list are kept
// apart, so the shape list holds exactly what windows added, in order: the
// k-th AddPointShape is GetShape(k). No widget here: the map view listens
// through the change callback.

#include "engine/classifiedassistantfile.h"
#include "engine/controlerinterface.h"
#include "engine/drawshape.h"
#include "host/rendering.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class CRasterSource;

struct HostLayer {
    std::unique_ptr<CRasterSource> source;
    LayerDisplay display;
    std::wstring path;
    std::vector<ClassRecord> legend; // a classified layer's classes, from its assistant file
};

class HostController : public IControlerInterface {
public:
    enum class Change { Layers, Shapes, View };
    using ChangeHandler = std::function<void(Change)>;

    HostController();
    ~HostController() override;
    HostController(const HostController&) = delete;
    HostController& operator=(const HostController&) = delete;

    void SetChangeHandler(ChangeHandler handler) { m_onChange = std::move(handler); }

    // Layers. OpenRaster adds the raster as the active layer; false (the
    // engine's reason in *error) when it cannot be read.
    bool OpenRaster(const std::wstring& path, std::wstring* error = nullptr);
    int LayerCount() const { return static_cast<int>(m_layers.size()); }
    const HostLayer& Layer(int index) const { return *m_layers.at(index); }
    std::vector<std::wstring> LayerPaths() const;
    int ActiveLayerIndex() const { return m_active; }
    const HostLayer* ActiveLayer() const;
    CRasterSource* ActiveRaster() const;
    void SetActiveLayer(int index);
    // Takes the layer out of the list. Its raster stays open until the host
    // ends, since a window may still hold the pointer it was given.
    void RemoveLayer(int index);

    // Shapes the user draws (ground coordinates), owned here.
    void AddDrawnShape(std::unique_ptr<CDrawShape> shape);
    void ClearDrawnShapes();
    const std::vector<std::unique_ptr<CDrawShape>>& DrawnShapes() const { return m_drawn; }
    // The shape list windows add to.
    const std::vector<std::unique_ptr<CDrawShape>>& ShapeList() const { return m_shapes; }
    // How many times windows said that shape visibility changed.
    int ShapeRefreshCount() const { return m_refreshes; }

    // IControlerInterface
    void RedrawView() override;
    CGISDataSource* GetActiveDataSource() override;
    void GetDrawShapes(std::vector<CDrawShape*>* shapes) override;
    int GetShapeCount() override;
    CDrawShape* GetShape(int index) override;
    void AddPointShape(CPoint2D position, int style) override;
    void RefreshShapes(int flag) override;

private:
    void notify(Change change);

    std::vector<std::unique_ptr<HostLayer>> m_layers;
    std::vector<std::unique_ptr<HostLayer>> m_closed;
    int m_active = -1;
    std::vector<std::unique_ptr<CDrawShape>> m_drawn;
    std::vector<std::unique_ptr<CDrawShape>> m_shapes;
    int m_refreshes = 0;
    ChangeHandler m_onChange;
};
