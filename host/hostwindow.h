#pragma once
// tessera-host's main window: the map view in the middle, the layer list
// beside it, the drawing tools in a tool bar, the cursor's ground position in
// the status bar, and the "分类" menu that opens the library's windows with
// this host's interface.

#include "host/hostcontroller.h"
#include "host/mapview.h"

#include <QMainWindow>

#include <map>
#include <string>

class QAction;
class QLabel;
class QListWidget;
class QMenu;

class HostWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit HostWindow(QWidget* parent = nullptr);
    ~HostWindow() override;

    HostController& Host() { return m_host; }
    MapView& Map() { return *m_map; }
    QMenu* WindowMenu() const { return m_windowMenu; }
    QAction* ToolAction(MapView::Tool tool) const { return m_toolActions.at(tool); }
    QListWidget* LayerList() const { return m_layerList; }
    QString CursorText() const;

    // Opens a raster as the active layer; tells the user when it cannot.
    bool OpenRaster(const std::wstring& path);

    // Commands.
    void OnFileOpen();
    void OnCloseLayer();
    void OnClearDrawnShapes();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildLayerList();
    void onHostChanged(HostController::Change change);
    void refreshLayerList();
    void showCursor(double x, double y, bool valid);

    HostController m_host;
    MapView* m_map = nullptr;
    QListWidget* m_layerList = nullptr;
    QLabel* m_cursorLabel = nullptr;
    QMenu* m_windowMenu = nullptr;
    std::map<MapView::Tool, QAction*> m_toolActions;
    bool m_fillingLayers = false;
};
