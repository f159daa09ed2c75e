#pragma once
// A host for tests: serves an active data source and drawn shapes, keeps a
// shape list with visibility flags, and records every call in order.

#include "engine/drawshape.h"
#include "engine/controlerinterface.h"

#include <memory>
#include <string>
#include <vector>

class ScriptedHost : public IControlerInterface {
public:
    CGISDataSource* activeSource = nullptr;
    std::vector<std::unique_ptr<CDrawShape>> drawnShapes;
    std::vector<std::unique_ptr<CDrawShape>> shapes;
    std::vector<std::string> calls;

    void RedrawView() override { calls.push_back("RedrawView"); }
    CGISDataSource* GetActiveDataSource() override {
        calls.push_back("GetActiveDataSource");
        return activeSource;
    }
    void GetDrawShapes(std::vector<CDrawShape*>* out) override {
        calls.push_back("GetDrawShapes");
        for (auto& s : drawnShapes)
            out->push_back(s.get());
    }
    int GetShapeCount() override {
        calls.push_back("GetShapeCount");
        return static_cast<int>(shapes.size());
    }
    CDrawShape* GetShape(int index) override {
        calls.push_back("GetShape");
        return index >= 0 && index < static_cast<int>(shapes.size()) ? shapes[index].get() : nullptr;
    }
    void AddPointShape(CPoint2D position, int style) override {
        calls.push_back("AddPointShape");
        auto shape = std::make_unique<CDrawShape>(DRAWSHAPE_POINT, std::vector<CPoint2D>{position});
        shape->m_style = style;
        shapes.push_back(std::move(shape));
    }
    void RefreshShapes(int) override { calls.push_back("RefreshShapes"); }
};
