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
class QTreeWidget;

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
    // The active layer's classes: colour and name, pixel count.
    QTreeWidget* Legend() const { return m_legend; }
    QString CursorText() const;

    // Opens a raster as the active layer; tells the user when it cannot.
    bool OpenRaster(const std::wstring& path);
    // Puts a finished task's output on the map, when it is a raster.
    void AddTaskOutput(const std::wstring& path);

    // Shows the spectral-signature plot of a sample file in a window of its
    // own; tells the user and returns null when the file cannot be read.
    QWidget* ShowSpectra(const std::wstring& samplePath);

    // Commands.
    void OnFileOpen();
    void OnShowSpectra();
    void OnCloseLayer();
    void OnClearDrawnShapes();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildMenus();
    void buildLayerList();
    void onHostChanged(HostController::Change change);
    void refreshLayerList();
    void refreshLegend();
    void showCursor(double x, double y, bool valid);

    HostController m_host;
    MapView* m_map = nullptr;
    QListWidget* m_layerList = nullptr;
    QTreeWidget* m_legend = nullptr;
    QLabel* m_cursorLabel = nullptr;
    QMenu* m_windowMenu = nullptr;
    std::map<MapView::Tool, QAction*> m_toolActions;
    bool m_fillingLayers = false;
};
