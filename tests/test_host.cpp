// tessera-host: the host interface, stretch and read windows, the map view
// driven with the mouse and the window menu.
#include "classify/CSvmClassifyDlg.h"
#include "common/filters.h"
#include "engine/drawshape.h"
#include "engine/rastersource.h"
#include "entry/tesserauilib.h"
#include "host/hostcontroller.h"
#include "host/hostwindow.h"
#include "host/libraryeventfilter.h"
#include "host/mapview.h"
#include "host/rendering.h"
#include "host/signatureplot.h"
#include "host/windowmenu.h"
#include "platform/xdialog.h"
#include "processing/basealgorithm.h"
#include "support/fixtures.h"
#include "support/windowharness.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>
#include <QTreeWidget>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

// 100 x 80 pixels of 2 units from (1000, 5000), three UInt16 bands.
const RasterSpec kHostRaster{100, 80, 3, GDT_UInt16, {1000, 2, 0, 5000, 0, -2}};

std::wstring hostRaster(
    const std::string& name, const RasterSpec& spec = kHostRaster,
    const PixelValue& value = [](int b, int c, int r) { return b * 100 + c + r; }) {
    return WriteRaster(ScratchDir() / name, spec, value).wstring();
}

std::vector<CDrawShape*> DrawnShapes(IControlerInterface& host) {
    std::vector<CDrawShape*> shapes;
    host.GetDrawShapes(&shapes);
    return shapes;
}

// The shape's type and its vertices, to a nanometre.
void ExpectShape(const CDrawShape* shape, int type, const std::vector<CPoint2D>& vertices) {
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->GetType(), type);
    ASSERT_EQ(shape->GetVertices().size(), vertices.size());
    for (size_t i = 0; i < vertices.size(); ++i) {
        EXPECT_NEAR(shape->GetVertices()[i].x, vertices[i].x, 1e-9) << i;
        EXPECT_NEAR(shape->GetVertices()[i].y, vertices[i].y, 1e-9) << i;
    }
}

TEST(HostInterface, PointShapesAppendAtTheIndexTheAccuracyWindowUsesAndDrawnShapesAreCopied) {
    HostController host;
    IControlerInterface& api = host;
    host.AddDrawnShape(
        std::make_unique<CDrawShape>(DRAWSHAPE_RECTANGLE, std::vector<CPoint2D>{{1, 2}, {3, 4}}));
    host.AddDrawnShape(
        std::make_unique<CDrawShape>(DRAWSHAPE_POLYGON, std::vector<CPoint2D>{{0, 0}, {4, 0}, {4, 3}}));
    EXPECT_EQ(host.GetShapeCount(), 0) << "drawn shapes are not in the shape list";
    for (int k = 0; k < 5; ++k) {
        api.AddPointShape(CPoint2D(10.0 * k, -3.5 * k), 255);
        ASSERT_EQ(api.GetShapeCount(), k + 1);
        api.GetShape(api.GetShapeCount() - 1)->m_visible = 0; // as the accuracy window hides each new point
    }
    for (int k = 0; k < 5; ++k) {
        ExpectShape(api.GetShape(k), DRAWSHAPE_POINT, {{10.0 * k, -3.5 * k}});
        EXPECT_EQ(std::tuple(api.GetShape(k)->m_style, api.GetShape(k)->m_visible), std::tuple(255, 0));
    }
    EXPECT_EQ(std::tuple(api.GetShape(-1), api.GetShape(5)), std::tuple(nullptr, nullptr));
    // GetDrawShapes appends after what the caller had; copies outlive a clear.
    CDrawShape sentinel(DRAWSHAPE_POINT, {{7, 7}});
    std::vector<CDrawShape*> shapes{&sentinel};
    host.GetDrawShapes(&shapes);
    ASSERT_EQ(shapes.size(), 3u);
    EXPECT_EQ(shapes[0], &sentinel);
    std::unique_ptr<CDrawShape> first(CDrawShape::CreateCopy(shapes[1])),
        second(CDrawShape::CreateCopy(shapes[2]));
    host.ClearDrawnShapes();
    EXPECT_TRUE(DrawnShapes(host).empty());
    EXPECT_EQ(api.GetShapeCount(), 5); // the shape list stays
    ExpectShape(first.get(), DRAWSHAPE_RECTANGLE, {{1, 2}, {3, 4}});
    ExpectShape(second.get(), DRAWSHAPE_POLYGON, {{0, 0}, {4, 0}, {4, 3}});
    host.GetDrawShapes(nullptr); // tolerated
}

TEST(HostInterface, ActiveDataSourceIsTheActiveLayerAndChangesReachTheView) {
    HostController host;
    EXPECT_EQ(host.GetActiveDataSource(), nullptr);
    std::vector<HostController::Change> changes;
    host.SetChangeHandler([&](HostController::Change c) { changes.push_back(c); });
    ASSERT_TRUE(host.OpenRaster(hostRaster("active-a.tif")));
    ASSERT_TRUE(host.OpenRaster(hostRaster("active-b.tif", {20, 10, 1, GDT_UInt16, kHostRaster.geo})));
    EXPECT_EQ(std::tuple(host.LayerCount(), host.ActiveLayerIndex()), std::tuple(2, 1))
        << "the new one is active";
    auto* raster = dynamic_cast<CRasterSource*>(host.GetActiveDataSource());
    ASSERT_NE(raster, nullptr);
    EXPECT_EQ(std::tuple(raster->GetDataSourceType(), raster->GetWidth(), raster),
              std::tuple(GIS_DATASOURCE_RASTER, 20, host.Layer(1).source.get()));
    host.SetActiveLayer(0);
    EXPECT_EQ(host.GetActiveDataSource(), host.Layer(0).source.get());
    EXPECT_EQ(dynamic_cast<CRasterSource*>(host.GetActiveDataSource())->GetWidth(), 100);
    std::wstring reason;
    EXPECT_FALSE(host.OpenRaster((ScratchDir() / "missing.tif").wstring(), &reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(std::tuple(host.LayerCount(), host.ActiveLayerIndex()), std::tuple(2, 0))
        << "a failed open changes nothing";
    // A removed layer's raster stays valid for a window that kept it.
    CGISDataSource* kept = host.GetActiveDataSource();
    host.RemoveLayer(0);
    EXPECT_EQ(std::tuple(kept->GetDataSourceType(), host.LayerCount(), host.GetActiveDataSource()),
              std::tuple(GIS_DATASOURCE_RASTER, 1, host.Layer(0).source.get()));
    host.RemoveLayer(0);
    EXPECT_EQ(host.GetActiveDataSource(), nullptr);
    EXPECT_EQ(std::count(changes.begin(), changes.end(), HostController::Change::Layers), 5);
    // Refresh and redraw reach the view.
    changes.clear();
    host.RefreshShapes(0);
    host.RedrawView();
    EXPECT_EQ(host.ShapeRefreshCount(), 1);
    EXPECT_EQ(changes, (std::vector<HostController::Change>{HostController::Change::Shapes,
                                                            HostController::Change::View}));
}

// The value at index floor(p * (n - 1)) of the sorted values.
double NaivePercentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(std::floor(p * static_cast<double>(values.size() - 1)))];
}

TEST(Stretch, PercentilesOfWholeValuesMatchASortExactly) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 20; ++trial) {
        std::uniform_int_distribution<int> value(-50 + trial, 700 + 10 * trial);
        std::vector<double> values(200 + 37 * trial);
        for (double& v : values)
            v = value(random);
        const Histogram h = BuildHistogram(values);
        const StretchRange r = PercentileStretch(h);
        EXPECT_EQ(
            std::tuple(h.binWidth, h.Total(), r.low, r.high),
            std::tuple(1.0, values.size(), NaivePercentile(values, 0.02), NaivePercentile(values, 0.98)))
            << trial;
    }
    // By hand: 1..100 gives indices 1 and 97, the values 2 and 98.
    std::vector<double> hundred(100);
    for (int i = 0; i < 100; ++i)
        hundred[i] = 100 - i;
    const StretchRange r = PercentileStretch(BuildHistogram(hundred));
    EXPECT_EQ(std::tuple(r.low, r.high), std::tuple(2.0, 98.0));
}

TEST(Stretch, PercentilesOfWideOrFractionalValuesAreWithinOneBinEdgeCasesAndByteMapping) {
    std::mt19937 random(11);
    std::normal_distribution<double> value(1500.0, 400.0);
    std::vector<double> values(5000);
    for (double& v : values)
        v = value(random);
    const Histogram h = BuildHistogram(values, 256);
    ASSERT_EQ(h.counts.size(), 256u);
    const StretchRange r = PercentileStretch(h);
    for (auto [got, p] : {std::pair{r.low, 0.02}, std::pair{r.high, 0.98}}) {
        const double exact = NaivePercentile(values, p);
        EXPECT_LE(got, exact + 1e-9);
        EXPECT_GT(got, exact - h.binWidth - 1e-9);
    }
    // Whole values over a range wider than the bins are binned too.
    const Histogram wide = BuildHistogram({0, 5000, 10000}, 100);
    EXPECT_EQ(std::tuple(wide.counts.size(), wide.counts.front(), wide.counts.back()),
              std::tuple(100u, 1u, 1u));
    // No values, one value; values to bytes, clamped (NaN is 0).
    EXPECT_EQ(BuildHistogram({}).Total(), 0u);
    const StretchRange none = PercentileStretch(Histogram{}),
                       flat = PercentileStretch(BuildHistogram({42, 42, 42}));
    EXPECT_EQ(std::tuple(none.low, none.high, flat.low, flat.high), std::tuple(0.0, 0.0, 42.0, 42.0));
    EXPECT_EQ(std::tuple(StretchToByte(42, flat), StretchToByte(41, flat), StretchToByte(43, flat)),
              std::tuple(0, 0, 255));
    const std::pair<double, int> bytes[] = {{100, 0}, {355, 255},  {227, 127},
                                            {-5, 0},  {9999, 255}, {std::nan(""), 0}};
    for (auto [value, byte] : bytes)
        EXPECT_EQ(StretchToByte(value, StretchRange{100, 355}), byte) << value;
}

TEST(ReadWindowTest, ZoomedInZoomedOutAndClipped) {
    // Zoom 4 from image position (10.5, 20.25) in a 100 x 80 view: image
    // x 10.5..35.5 and y 20.25..40.25 are visible, read at their own size.
    EXPECT_EQ(ComputeReadWindow({10.5, 20.25, 4.0}, 100, 80, 1000, 1000),
              (ReadWindow{10, 20, 26, 21, 26, 21, -2.0, -1.0, 104.0, 84.0}));
    // A 20000 x 20000 image fitted into 800 x 600: zoom 0.03, centred, read at screen resolution.
    const ViewState fit = FitView(800, 600, 20000, 20000);
    EXPECT_DOUBLE_EQ(fit.zoom, 0.03);
    EXPECT_NEAR(fit.originX, -(800 / 0.03 - 20000) / 2, 1e-6);
    EXPECT_DOUBLE_EQ(fit.originY, 0.0);
    const ReadWindow w = ComputeReadWindow(fit, 800, 600, 20000, 20000);
    EXPECT_EQ(std::tuple(w.x, w.y, w.width, w.height, w.bufferWidth, w.bufferHeight),
              std::tuple(0, 0, 20000, 20000, 600, 600));
    EXPECT_NEAR(w.screenX, 100.0, 1e-6);
    EXPECT_NEAR(w.screenWidth, 600.0, 1e-6);
    // Half a view to the left of and above the raster at zoom 2: image x
    // -25..25 clipped to 0..25, y -10..40 clipped to 0..30.
    const ReadWindow c = ComputeReadWindow({-25, -10, 2.0}, 100, 100, 40, 30);
    EXPECT_EQ(std::tuple(c.x, c.y, c.width, c.height, c.screenX, c.screenY),
              std::tuple(0, 0, 25, 30, 50.0, 20.0));
    EXPECT_TRUE(ComputeReadWindow({50, 0, 1.0}, 100, 100, 40, 30).IsEmpty()); // outside
    EXPECT_TRUE(ComputeReadWindow({-200, 0, 1.0}, 100, 100, 40, 30).IsEmpty());
    EXPECT_TRUE(ComputeReadWindow({0, 0, 0.0}, 100, 100, 40, 30).IsEmpty());
    EXPECT_TRUE(ComputeReadWindow({0, 0, 1.0}, 0, 100, 40, 30).IsEmpty());
}

class MapViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<HostWindow>();
        window->resize(900, 600);
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    MapView& map() { return window->Map(); }
    void use(MapView::Tool tool) { window->ToolAction(tool)->trigger(); }
    void press(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mousePress(&map(), button, {}, at);
    }
    void click(QPoint at) {
        press(at);
        QTest::mouseRelease(&map(), Qt::LeftButton, {}, at);
    }
    // What a real double click sends: press, release, double click, release.
    void doubleClick(QPoint at) {
        click(at);
        QTest::mouseDClick(&map(), Qt::LeftButton, {}, at);
    }
    void move(QPoint at, Qt::MouseButtons buttons = Qt::NoButton) {
        QMouseEvent event(QEvent::MouseMove, QPointF(at), map().mapToGlobal(QPointF(at)), Qt::NoButton,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(&map(), &event);
    }
    void drag(QPoint from, QPoint to, Qt::MouseButton button = Qt::LeftButton) {
        press(from, button);
        move(to, button);
        QTest::mouseRelease(&map(), button, {}, to);
    }
    QImage grab() { return map().grab().toImage().convertToFormat(QImage::Format_RGB32); }

    std::unique_ptr<HostWindow> window;
};

TEST_F(MapViewTest, OpensThroughTheChooserAndEachToolDrawsItsShapeInGroundCoordinatesOutsideTheShapeList) {
    ScriptedUiServices ui;
    ScopedUiServices scoped(ui);
    const std::wstring path = hostRaster("chosen.tif");
    ui.ChooseFileAnswer(path);
    window->OnFileOpen();
    EXPECT_EQ(std::tuple(ui.fileRequests.size(), ui.fileRequests.at(0).open, ui.fileRequests.at(0).filter),
              std::tuple(1u, true, Filters::RasterInput));
    ASSERT_EQ(window->Host().LayerCount(), 1);
    EXPECT_EQ(window->Host().Layer(0).path, path);
    // A cancelled chooser opens nothing quietly; a file that is no raster is named in a message.
    ui.CancelFileAnswer();
    window->OnFileOpen();
    EXPECT_TRUE(ui.messages.empty());
    const fs::path text = ScratchDir() / "not-a-raster.tif";
    WriteBytes(text, "hello");
    ui.ChooseFileAnswer(text.wstring());
    window->OnFileOpen();
    EXPECT_EQ(window->Host().LayerCount(), 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find(text.wstring()), std::wstring::npos);
    // Without a layer nothing can be drawn.
    window->OnCloseLayer();
    EXPECT_EQ(window->Host().LayerCount(), 0);
    use(MapView::Tool::Rectangle);
    drag({10, 10}, {100, 100});
    EXPECT_TRUE(DrawnShapes(window->Host()).empty());
    // At zoom 4 from the top-left corner, screen (x, y) is ground (1000 + x / 2, 5000 - y / 2).
    ASSERT_TRUE(window->OpenRaster(hostRaster("draw.tif")));
    map().SetView({0, 0, 4.0});
    use(MapView::Tool::Rectangle);
    drag({40, 20}, {120, 100});
    use(MapView::Tool::Polygon);
    click({40, 40});
    click({120, 40});
    doubleClick({80, 100});
    EXPECT_EQ(map().PendingVertexCount(), 0);
    press({10, 10}); // Esc abandons a polygon being drawn
    press({50, 10});
    EXPECT_EQ(map().PendingVertexCount(), 2);
    QTest::keyClick(&map(), Qt::Key_Escape);
    EXPECT_EQ(map().PendingVertexCount(), 0);
    use(MapView::Tool::Point);
    click({6, 10});
    const std::vector<CDrawShape*> shapes = DrawnShapes(window->Host());
    ASSERT_EQ(shapes.size(), 3u);
    ExpectShape(shapes[0], DRAWSHAPE_RECTANGLE, {{1020, 4990}, {1060, 4950}});
    ExpectShape(shapes[1], DRAWSHAPE_POLYGON, {{1020, 4980}, {1060, 4980}, {1040, 4950}});
    ExpectShape(shapes[2], DRAWSHAPE_POINT, {{1003, 4995}});
    EXPECT_EQ(window->Host().GetShapeCount(), 0) << "drawn shapes stay out of the shape list";
    window->OnClearDrawnShapes();
    EXPECT_TRUE(DrawnShapes(window->Host()).empty());
}

TEST_F(MapViewTest, PanZoomAndTheCursorPosition) {
    ASSERT_TRUE(window->OpenRaster(hostRaster("pan.tif")));
    map().SetView({0, 0, 4.0});
    move({40, 20});
    for (const char* ground : {"1020.000", "4990.000"})
        EXPECT_TRUE(window->CursorText().contains(QString(ground))) << window->CursorText().toStdString();
    // A left drag in pan mode moves the image with the cursor.
    use(MapView::Tool::Pan);
    drag({100, 100}, {140, 60});
    EXPECT_EQ(std::tuple(map().View().originX, map().View().originY), std::tuple(-10.0, 10.0));
    // The wheel zooms about the cursor: the ground under it stays put.
    const QPointF anchor(200, 120);
    const auto before = map().ScreenToGround(anchor);
    QWheelEvent wheel(anchor, map().mapToGlobal(anchor), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&map(), &wheel);
    EXPECT_NEAR(map().View().zoom, 4.0 * 1.25 * 1.25, 1e-12);
    const auto after = map().ScreenToGround(anchor);
    ASSERT_TRUE(before && after);
    EXPECT_NEAR(after->x, before->x, 1e-9);
    EXPECT_NEAR(after->y, before->y, 1e-9);
}

TEST_F(MapViewTest, CompositeAndClassifiedColoursAndHiddenShapes) {
    // Left half red only, right half blue only: with bands 3, 2, 1 as red,
    // green, blue, the left shows red and the right blue.
    ASSERT_TRUE(window->OpenRaster(hostRaster("rgb.tif", kHostRaster, [](int b, int c, int) {
        return (c < 50 ? b == 3 : b == 1) ? 1000.0 : 0.0;
    })));
    map().SetView({0, 0, 4.0});
    EXPECT_EQ(std::tuple(grab().pixel(100, 100), grab().pixel(300, 100)),
              std::tuple(qRgb(255, 0, 0), qRgb(0, 0, 255)));
    // Point shapes of the shape list are drawn unless hidden. Pixel centre
    // (75, 60) is screen (302, 242), in the blue half; the cross's arm runs
    // through (305, 242).
    window->Host().AddPointShape(window->Host().ActiveRaster()->ImageToGround(CPoint2D(75, 60)), 255);
    EXPECT_GT(grab().pixelColor(305, 242).red(), 150) << "a visible point is drawn in red over blue";
    window->Host().GetShape(0)->m_visible = 0;
    window->Host().RefreshShapes(0);
    window->Host().RedrawView();
    EXPECT_EQ(grab().pixel(305, 242), qRgb(0, 0, 255)) << "a hidden point is not drawn";
    // A classified raster shows its colour table.
    RasterSpec classes{100, 80, 1, GDT_Byte, kHostRaster.geo};
    classes.colours = {{0, 0, 0}, {0, 200, 0}, {200, 0, 200}};
    ASSERT_TRUE(window->OpenRaster(
        hostRaster("classes.tif", classes, [](int, int c, int) { return c < 50 ? 1.0 : 2.0; })));
    EXPECT_TRUE(window->Host().ActiveLayer()->display.classified);
    EXPECT_EQ(std::tuple(window->LayerList()->count(), window->LayerList()->currentRow()), std::tuple(2, 1));
    map().SetView({0, 0, 4.0});
    EXPECT_EQ(std::tuple(grab().pixel(100, 100), grab().pixel(300, 100)),
              std::tuple(qRgb(0, 200, 0), qRgb(200, 0, 200)));
    // Choosing the first layer in the list makes it active again.
    window->LayerList()->setCurrentRow(0);
    EXPECT_EQ(window->Host().ActiveLayerIndex(), 0);
}

TEST_F(MapViewTest, AHugeRasterIsReadAtScreenResolution) {
    // 20000 x 20000, tiled and sparse: nothing is stored, so only the read
    // window matters; the view reads no more samples than it has pixels.
    ASSERT_TRUE(window->OpenRaster(hostRaster(
        "huge.tif",
        {20000, 20000, 1, GDT_Byte, kHostRaster.geo, 0, {}, {}, {}, {"TILED=YES", "SPARSE_OK=TRUE"}},
        PixelValue())));
    map().ZoomToExtent();
    grab();
    const ReadWindow& w = map().LastReadWindow();
    EXPECT_EQ(w.width, 20000);
    EXPECT_TRUE(w.bufferWidth > 0 && w.bufferWidth <= map().width() && w.bufferHeight <= map().height());
}

TEST(HostWorkbench, RasterChoosersOfferTheOpenLayersAndFinishedOutputsComeOnTheMapWithTheirLegend) {
    ScriptedUiServices ui;
    ScopedUiServices scoped(ui);
    HostWindow host;
    const std::wstring scene = hostRaster("scene.tif");
    ASSERT_TRUE(host.OpenRaster(scene));
    QPointer<XDialog> svm = OpenNewWindow<XDialog>([&] { CTesseraUILib::ShowSvmClassifyDlg(&host.Host()); });
    ASSERT_TRUE(svm);
    ui.CancelFileAnswer();
    ui.CancelFileAnswer();
    svm->SendCommand(CSvmClassifyDlg::IDC_INPUT_BROWSE);
    svm->SendCommand(CSvmClassifyDlg::IDC_SAMPLE_BROWSE);
    svm->SendCommand(IDCANCEL);
    ASSERT_EQ(ui.fileRequests.size(), 2u);
    EXPECT_EQ(ui.fileRequests[0].hostLayers, std::vector<std::wstring>{scene});
    EXPECT_TRUE(ui.fileRequests[1].hostLayers.empty()); // a sample chooser offers no raster
    // The real chooser lists them; activating one ends it with that path.
    const std::unique_ptr<QFileDialog> chooser = BuildFileChooser(ui.fileRequests[0]);
    auto* layers = chooser->findChild<QListWidget*>(QStringLiteral("hostLayers"));
    ASSERT_TRUE(layers && layers->count() == 1);
    emit layers->itemActivated(layers->item(0));
    EXPECT_EQ(std::tuple(chooser->result(), ChosenHostLayer(*chooser)),
              std::tuple(int(QDialog::Accepted), scene));
    EXPECT_FALSE(BuildFileChooser({})->findChild<QListWidget*>(QStringLiteral("hostLayers")));

    // A task that ends well puts its classified output on the map, with the legend of its classes;
    // a failed one adds nothing.
    RasterSpec classes{100, 80, 1, GDT_Byte, kHostRaster.geo};
    classes.colours = {{0, 0, 0}, {0, 200, 0}, {200, 0, 200}};
    const std::wstring map =
        hostRaster("result.tif", classes, [](int, int c, int) { return c < 50 ? 1 : 2; });
    WriteAcf(
        map,
        {{L"Unclassified", 0, 0}, {L"水体", 1, 4000, RGB(0, 200, 0)}, {L"林地", 2, 4000, RGB(200, 0, 200)}});
    struct Task : CBaseAlgorithm {
        bool ok;
        Task(const std::wstring& output, bool succeeds) : CBaseAlgorithm(AlgorithmParam()), ok(succeeds) {
            m_param->m_outputPath = output;
        }
        bool Process() override { return ok; }
    };
    Task(map, false).ProcessFromNewThread(false);
    Task(map, true).ProcessFromNewThread(false);
    QCoreApplication::processEvents();
    ASSERT_EQ(host.Host().LayerCount(), 2);
    EXPECT_EQ(std::tuple(host.Host().ActiveLayer()->path, host.Host().ActiveLayer()->display.classified),
              std::tuple(map, true));
    QTreeWidget* legend = host.Legend();
    ASSERT_EQ(legend->topLevelItemCount(), 3);
    QTreeWidgetItem* row = legend->topLevelItem(1);
    EXPECT_EQ(std::tuple(row->text(0), row->text(1)),
              std::tuple(QStringLiteral("水体"), QStringLiteral("4000")));
    EXPECT_EQ(row->icon(0).pixmap(12, 12).toImage().pixel(6, 6), qRgb(0, 200, 0));
    host.LayerList()->setCurrentRow(0); // the scene has no classes
    EXPECT_EQ(legend->topLevelItemCount(), 0);

    // The spectral-signature plot: means and standard deviations from the file's statistics,
    // the mean curve drawn in the class's colour.
    const fs::path cif = ScratchDir() / "spectra.cif";
    ClassifySample* water = NewSample(L"水体", 3, {10, 20, 5}, {4, 1, 0, 1, 9, 0, 0, 0, 0});
    ClassifySample* forest = NewSample(L"林地", 3, {30, 60, 90}, {1, 0, 0, 0, 16, 0, 0, 0, 25});
    water->m_colour = RGB(0, 0, 255), forest->m_colour = RGB(0, 160, 0);
    WriteSamples(cif, 3, {water, forest});
    auto* plot = qobject_cast<SignaturePlot*>(host.ShowSpectra(WPath(cif)));
    ASSERT_TRUE(plot);
    ASSERT_EQ(plot->Curves().size(), 2u);
    EXPECT_EQ(
        std::tuple(plot->Curves()[0].name, plot->Curves()[0].mean, plot->Curves()[0].stddev),
        std::tuple(std::wstring(L"水体"), std::vector<double>{10, 20, 5}, std::vector<double>{2, 3, 0}));
    EXPECT_EQ(plot->Curves()[1].stddev, (std::vector<double>{1, 4, 5}));
    const QImage image = plot->grab().toImage();
    const QPointF onForest = (plot->PlotPoint(2, 60) + plot->PlotPoint(3, 90)) / 2; // mid-segment
    bool lineThere = false; // antialiased: one of the pixels around the point is the line's colour
    for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
            const QColor c = image.pixelColor(onForest.toPoint() + QPoint(dx, dy));
            lineThere = lineThere || (c.green() > 120 && c.red() < 60 && c.blue() < 60);
        }
    EXPECT_TRUE(lineThere);
    plot->close();
    EXPECT_FALSE(host.ShowSpectra(L"/no/such.cif"));
    EXPECT_EQ(ui.messages.size(), 1u);
}

TEST(WindowMenu, OffersEveryEntryPointAndAnItemOpensItsWindowWhoseKeysPassThroughTheLibrary) {
    const auto& windows = LibraryWindows();
    // The thirteen window classes, the common supervised one for four kinds.
    std::vector<std::string> names;
    for (const WindowEntry& e : windows)
        names.push_back(e.galleryName.substr(0, e.galleryName.find('-')));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    EXPECT_EQ(names.size(), 13u);
    HostWindow host;
    host.show();
    const QList<QAction*> items = host.WindowMenu()->actions();
    EXPECT_EQ(host.WindowMenu()->title(), QStringLiteral("分类"));
    EXPECT_EQ(std::count_if(items.begin(), items.end(), [](QAction* a) { return !a->isSeparator(); }),
              static_cast<int>(windows.size()));
    const auto item = std::find_if(items.begin(), items.end(),
                                   [](QAction* a) { return a->text() == QStringLiteral("非监督分类"); });
    ASSERT_NE(item, items.end());
    QPointer<XDialog> dialog = OpenNewWindow<XDialog>([&] { (*item)->trigger(); });
    ASSERT_FALSE(dialog.isNull());
    EXPECT_TRUE(dialog->isVisible());
    LibraryEventFilter filter;
    qApp->installEventFilter(&filter);
    QTest::keyClick(&host.Map(), Qt::Key_Escape); // not a library window: the host handles it
    EXPECT_EQ(filter.ConsumedCount(), 0);
    EXPECT_FALSE(dialog.isNull());
    QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog.data(), Qt::Key_Escape);
    EXPECT_GE(filter.ConsumedCount(), 1); // Esc is the library window's Cancel
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isNull(); }, 5000));
    qApp->removeEventFilter(&filter);
}

} // namespace
