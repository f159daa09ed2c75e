#include "host/hostwindow.h"

#include "base/commonfun.h"
#include "common/filters.h"
#include "common/messages.h"
#include "engine/classifysamplefile.h"
#include "engine/rastersource.h"
#include "host/signatureplot.h"
#include "host/windowmenu.h"
#include "platform/filedialog.h"
#include "platform/translation.h"
#include "platform/uiservices.h"
#include "platform/xdialog.h"
#include "processing/basealgorithm.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPointer>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

HostWindow::HostWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("Tessera"));
    m_map = new MapView(m_host, this);
    setCentralWidget(m_map);
    m_cursorLabel = new QLabel(this);
    statusBar()->addPermanentWidget(m_cursorLabel);
    buildLayerList();
    buildMenus();
    m_host.SetChangeHandler([this](HostController::Change change) { onHostChanged(change); });
    connect(m_map, &MapView::cursorMoved, this, &HostWindow::showCursor);
    m_map->SetTool(MapView::Tool::Pan);
    resize(1000, 700);

    // The raster choosers of this host's windows offer its open layers.
    SetHostLayerLister([this](IControlerInterface* host, const FileDialogRequest& request) {
        const bool rasterToOpen = request.open && request.defaultExtension == DefaultExt::Raster;
        return host == &m_host && rasterToOpen ? m_host.LayerPaths() : std::vector<std::wstring>{};
    });
    // A task started from a window of this process ends on its own thread: its output is put
    // on the map from the UI thread, if this window still exists by then.
    CBaseAlgorithm::SetFinishedHook([window = QPointer<HostWindow>(this)](const AlgorithmParam& record) {
        if (!record.m_outputPath.empty())
            QMetaObject::invokeMethod(
                qApp,
                [window, path = record.m_outputPath] {
                    if (window)
                        window->AddTaskOutput(path);
                },
                Qt::QueuedConnection);
    });
}

HostWindow::~HostWindow() {
    CBaseAlgorithm::SetFinishedHook(nullptr);
    SetHostLayerLister(nullptr);
    m_host.SetChangeHandler(nullptr);
}

void HostWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(Translate(QStringLiteral("文件(&F)")));
    QAction* open =
        file->addAction(Translate(QStringLiteral("打开影像(&O)...")), this, &HostWindow::OnFileOpen);
    open->setShortcut(QKeySequence::Open);
    file->addAction(Translate(QStringLiteral("关闭图层(&C)")), this, &HostWindow::OnCloseLayer);
    file->addAction(Translate(QStringLiteral("样本光谱曲线(&S)...")), this, &HostWindow::OnShowSpectra);
    file->addSeparator();
    file->addAction(Translate(QStringLiteral("退出(&X)")), this, &QWidget::close);

    QMenu* view = menuBar()->addMenu(Translate(QStringLiteral("视图(&V)")));
    QAction* extent = view->addAction(Translate(QStringLiteral("全图(&E)")), m_map, &MapView::ZoomToExtent);
    QAction* zoomIn = view->addAction(Translate(QStringLiteral("放大(&I)")), m_map, &MapView::ZoomIn);
    zoomIn->setShortcut(QKeySequence::ZoomIn);
    QAction* zoomOut = view->addAction(Translate(QStringLiteral("缩小(&O)")), m_map, &MapView::ZoomOut);
    zoomOut->setShortcut(QKeySequence::ZoomOut);

    QMenu* draw = menuBar()->addMenu(Translate(QStringLiteral("绘制(&D)")));
    auto* tools = new QActionGroup(this);
    const std::pair<MapView::Tool, const char*> toolNames[] = {
        {MapView::Tool::Pan, "漫游"},
        {MapView::Tool::Rectangle, "矩形"},
        {MapView::Tool::Polygon, "多边形"},
        {MapView::Tool::Point, "点"},
    };
    for (const auto& [tool, name] : toolNames) {
        QAction* action = draw->addAction(Translate(QString::fromUtf8(name)));
        action->setCheckable(true);
        action->setChecked(tool == MapView::Tool::Pan);
        tools->addAction(action);
        connect(action, &QAction::triggered, m_map, [this, tool = tool] { m_map->SetTool(tool); });
        m_toolActions[tool] = action;
    }
    draw->addSeparator();
    QAction* clear =
        draw->addAction(Translate(QStringLiteral("清除绘制图形")), this, &HostWindow::OnClearDrawnShapes);

    // The library's windows, one item each, a separator between sections.
    m_windowMenu = menuBar()->addMenu(Translate(QStringLiteral("分类")));
    int group = -1;
    for (const WindowEntry& entry : LibraryWindows()) {
        if (group != -1 && entry.group != group)
            m_windowMenu->addSeparator();
        group = entry.group;
        QAction* action = m_windowMenu->addAction(Translate(entry.title));
        action->setData(QString::fromStdString(entry.galleryName));
        connect(action, &QAction::triggered, this, [this, open = entry.open] { open(&m_host); });
    }

    QToolBar* bar = addToolBar(Translate(QStringLiteral("工具")));
    bar->setObjectName(QStringLiteral("tools"));
    bar->addAction(open);
    bar->addSeparator();
    bar->addAction(extent);
    bar->addAction(zoomIn);
    bar->addAction(zoomOut);
    bar->addSeparator();
    for (const auto& [tool, name] : toolNames)
        bar->addAction(m_toolActions[tool]);
    bar->addAction(clear);
}

void HostWindow::buildLayerList() {
    auto* dock = new QDockWidget(Translate(QStringLiteral("图层")), this);
    dock->setObjectName(QStringLiteral("layers"));
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    auto* panel = new QWidget(dock);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    m_layerList = new QListWidget(panel);
    m_legend = new QTreeWidget(panel);
    m_legend->setRootIsDecorated(false);
    m_legend->setHeaderLabels({Translate(QStringLiteral("类别")), Translate(QStringLiteral("像素数"))});
    layout->addWidget(m_layerList, 1);
    layout->addWidget(m_legend, 2);
    dock->setWidget(panel);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    connect(m_layerList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!m_fillingLayers)
            m_host.SetActiveLayer(row);
    });
}

bool HostWindow::OpenRaster(const std::wstring& path) {
    std::wstring reason;
    if (m_host.OpenRaster(path, &reason))
        return true;
    XMessageBox(TranslateW(L"无法打开影像：") + path + L"\n" + reason, Caption::Error, MB_OK | MB_ICONERROR);
    return false;
}

void HostWindow::AddTaskOutput(const std::wstring& path) {
    // Vector outputs and files that are not there are left to the user.
    if (QFileInfo::exists(QString::fromStdWString(path)))
        m_host.OpenRaster(path);
}

void HostWindow::OnFileOpen() {
    CFileDialog dialog(true, DefaultExt::Raster, nullptr, kFileDialogFlags, Filters::RasterInput);
    if (dialog.DoModal() != IDOK)
        return;
    OpenRaster(dialog.GetPathName());
}

void HostWindow::OnShowSpectra() {
    CFileDialog dialog(true, DefaultExt::Sample, nullptr, kFileDialogFlags, Filters::SampleOpen);
    if (dialog.DoModal() == IDOK)
        ShowSpectra(dialog.GetPathName());
}

QWidget* HostWindow::ShowSpectra(const std::wstring& samplePath) {
    CClassifySampleFile samples;
    if (!samples.ReadClassifySampleFile(samplePath)) {
        XMessageBox(TranslateW(L"无法读取样本文件：") + samplePath + L"\n" +
                        CommonFun::M2U(samples.GetLastError()),
                    Caption::Error, MB_OK | MB_ICONERROR);
        return nullptr;
    }
    auto* plot = new SignaturePlot(SignatureCurves(samples), this);
    plot->setWindowFlag(Qt::Window);
    plot->setAttribute(Qt::WA_DeleteOnClose);
    plot->setWindowTitle(Translate(QStringLiteral("样本光谱曲线 - ")) +
                         QFileInfo(QString::fromStdWString(samplePath)).fileName());
    plot->show();
    return plot;
}

void HostWindow::OnCloseLayer() {
    m_host.RemoveLayer(m_host.ActiveLayerIndex());
}

void HostWindow::OnClearDrawnShapes() {
    m_host.ClearDrawnShapes();
}

void HostWindow::onHostChanged(HostController::Change change) {
    if (change == HostController::Change::Layers) {
        refreshLayerList();
        m_map->LayersChanged();
    } else {
        m_map->update();
    }
}

void HostWindow::refreshLayerList() {
    m_fillingLayers = true;
    m_layerList->clear();
    for (int i = 0; i < m_host.LayerCount(); ++i) {
        const HostLayer& layer = m_host.Layer(i);
        auto* item =
            new QListWidgetItem(QFileInfo(QString::fromStdWString(layer.path)).fileName(), m_layerList);
        item->setToolTip(QString::fromStdWString(layer.path));
    }
    m_layerList->setCurrentRow(m_host.ActiveLayerIndex());
    m_fillingLayers = false;
    refreshLegend();
}

void HostWindow::refreshLegend() {
    m_legend->clear();
    const HostLayer* layer = m_host.ActiveLayer();
    if (!layer)
        return;
    for (const ClassRecord& record : layer->legend) {
        auto* item = new QTreeWidgetItem(
            m_legend, {QString::fromStdWString(record.m_name), QString::number(record.m_pixelCount)});
        QPixmap swatch(12, 12);
        swatch.fill(
            QColor(GetRValue(record.m_colour), GetGValue(record.m_colour), GetBValue(record.m_colour)));
        item->setIcon(0, QIcon(swatch));
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
}

QString HostWindow::CursorText() const {
    return m_cursorLabel->text();
}

void HostWindow::showCursor(double x, double y, bool valid) {
    if (!valid) {
        m_cursorLabel->clear();
        return;
    }
    QString unit;
    if (const CRasterSource* raster = m_host.ActiveRaster())
        unit = QString::fromStdWString(raster->GetUnitName(false));
    m_cursorLabel->setText(QStringLiteral("X: %1  Y: %2  %3").arg(x, 0, 'f', 3).arg(y, 0, 'f', 3).arg(unit));
}

void HostWindow::closeEvent(QCloseEvent* event) {
    // The library's windows hold this host's interface: close them first.
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget != this && widget->isVisible() && qobject_cast<XDialog*>(widget))
            widget->close();
    QMainWindow::closeEvent(event);
}
