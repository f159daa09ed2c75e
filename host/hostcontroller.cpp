#include "host/hostcontroller.h"

#include "engine/rastersource.h"
#include "platform/translation.h"

HostController::HostController() = default;
HostController::~HostController() = default;

bool HostController::OpenRaster(const std::wstring& path, std::wstring* error) {
    auto layer = std::make_unique<HostLayer>();
    layer->source = std::make_unique<CRasterSource>();
    const GISError result = layer->source->Open(path, GIS_READONLY, true);
    if (result != GIS_OK) {
        if (error)
            *error = TranslateW(result == GIS_ERROR_NOT_RASTER ? L"文件中没有栅格波段" : L"无法读取该文件");
        return false;
    }
    layer->display = ComputeLayerDisplay(*layer->source);
    layer->path = path;
    CClassifiedAssistantFile classes;
    if (AssistantFileExists(path) && classes.ReadClassifiedAssistantFile(PairedAssistantFilePath(path)))
        for (const ClassRecord* record : classes.GetClassRecords())
            layer->legend.push_back(*record);
    m_layers.push_back(std::move(layer));
    m_active = LayerCount() - 1;
    notify(Change::Layers);
    return true;
}

std::vector<std::wstring> HostController::LayerPaths() const {
    std::vector<std::wstring> paths;
    for (const auto& layer : m_layers)
        paths.push_back(layer->path);
    return paths;
}

const HostLayer* HostController::ActiveLayer() const {
    return m_active >= 0 && m_active < LayerCount() ? m_layers[m_active].get() : nullptr;
}

CRasterSource* HostController::ActiveRaster() const {
    const HostLayer* layer = ActiveLayer();
    return layer ? layer->source.get() : nullptr;
}

void HostController::SetActiveLayer(int index) {
    if (index < 0 || index >= LayerCount() || index == m_active)
        return;
    m_active = index;
    notify(Change::Layers);
}

void HostController::RemoveLayer(int index) {
    if (index < 0 || index >= LayerCount())
        return;
    m_closed.push_back(std::move(m_layers[index]));
    m_layers.erase(m_layers.begin() + index);
    if (m_active > index || m_active >= LayerCount())
        --m_active;
    notify(Change::Layers);
}

void HostController::AddDrawnShape(std::unique_ptr<CDrawShape> shape) {
    if (!shape)
        return;
    m_drawn.push_back(std::move(shape));
    notify(Change::Shapes);
}

void HostController::ClearDrawnShapes() {
    m_drawn.clear();
    notify(Change::Shapes);
}

void HostController::RedrawView() {
    notify(Change::View);
}

CGISDataSource* HostController::GetActiveDataSource() {
    return ActiveRaster();
}

void HostController::GetDrawShapes(std::vector<CDrawShape*>* shapes) {
    if (!shapes)
        return;
    for (const auto& shape : m_drawn)
        shapes->push_back(shape.get());
}

int HostController::GetShapeCount() {
    return static_cast<int>(m_shapes.size());
}

CDrawShape* HostController::GetShape(int index) {
    return index >= 0 && index < GetShapeCount() ? m_shapes[index].get() : nullptr;
}

void HostController::AddPointShape(CPoint2D position, int style) {
    auto shape = std::make_unique<CDrawShape>(DRAWSHAPE_POINT, std::vector<CPoint2D>{position});
    shape->m_style = style;
    m_shapes.push_back(std::move(shape));
    notify(Change::Shapes);
}

void HostController::RefreshShapes(int) {
    ++m_refreshes;
    notify(Change::Shapes);
}

void HostController::notify(Change change) {
    if (m_onChange)
        m_onChange(change);
}
