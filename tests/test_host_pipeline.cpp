// tessera-host end to end: a scene opened, two rectangles drawn, sampled in the
// sample editor and classified by maximum likelihood from the host's menu.
#include "classify/CDlgSupperviseCommon.h"
#include "engine/drawshape.h"
#include "host/hostwindow.h"
#include "platform/gridctrl.h"
#include "processing/basealgorithm.h"
#include "progressui/progresswindow.h"
#include "samples/CAoiEditorDlg.h"
#include "support/fixtures.h"
#include "support/windowharness.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>

#include <array>
#include <random>

namespace {

// Three vertical strips of 30 columns with clearly different spectra, each
// pixel its strip's spectrum plus noise of up to 20 either way.
constexpr int kWidth = 90, kHeight = 60, kBands = 4, kStrip = 30;
constexpr double kX0 = 440000, kY0 = 4420000, kPixel = 10;
constexpr std::array<std::array<double, kBands>, 3> kSpectra{{
    {300, 500, 200, 900},
    {800, 800, 800, 800},
    {1500, 400, 1200, 300},
}};

// The item of the menu with this text (the menu bar's menus are searched by their text too).
QAction* FindItem(const QList<QAction*>& actions, const QString& text) {
    for (QAction* action : actions)
        if (action->text() == text)
            return action;
    return nullptr;
}

class HostPipelineTest : public ::testing::Test {
protected:
    void SetUp() override {
        host.resize(1000, 700);
        host.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    }
    void TearDown() override {
        host.close(); // closes the library windows still open
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* progress = dynamic_cast<ProgressWindow*>(w))
                progress->close();
        QApplication::processEvents();
    }
    MapView& map() { return host.Map(); }
    QAction* menuItem(const QString& menu, const QString& text) {
        QAction* bar = FindItem(host.menuBar()->actions(), menu);
        return bar && bar->menu() ? FindItem(bar->menu()->actions(), text) : nullptr;
    }
    // Drags a rectangle with the mouse between two pixel-corner positions.
    void drawRectangle(double c0, double r0, double c1, double r1) {
        const auto from = map().GroundToScreen(CPoint2D(kX0 + c0 * kPixel, kY0 - r0 * kPixel));
        const auto to = map().GroundToScreen(CPoint2D(kX0 + c1 * kPixel, kY0 - r1 * kPixel));
        ASSERT_TRUE(from && to);
        const QPoint a = from->toPoint(), b = to->toPoint();
        QTest::mousePress(&map(), Qt::LeftButton, {}, a);
        QMouseEvent drag(QEvent::MouseMove, QPointF((a + b) / 2), map().mapToGlobal(QPointF((a + b) / 2)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&map(), &drag);
        QTest::mouseRelease(&map(), Qt::LeftButton, {}, b);
    }
    // Opens one of the library's windows from the host's "分类" menu.
    template <class T> QPointer<T> openFromMenu(const QString& title) {
        QAction* item = FindItem(host.WindowMenu()->actions(), title);
        EXPECT_NE(item, nullptr) << title.toStdString();
        return item ? OpenNewWindow<T>([item] { item->trigger(); }) : nullptr;
    }
    // Chooses an item of the sample editor's menu as the user does: the menu
    // opens (asking for the items' states), then the item is clicked.
    void chooseEditorItem(CAoiEditorDlg& editor, int id) {
        editor.UpdateMenuStates();
        QAction* action = editor.MenuAction(id);
        ASSERT_TRUE(action && action->isEnabled());
        action->trigger();
    }

    ScriptedUiServices ui;
    ScopedUiServices scope{ui};
    HostWindow host;
};

} // namespace

TEST_F(HostPipelineTest, SamplesDrawnInTheHostClassifyTheirRegionsByMaximumLikelihood) {
    std::mt19937 random(3);
    std::uniform_int_distribution<int> noise(-20, 20);
    const fs::path scene = WriteRaster(
        ScratchDir() / "scene.tif", {kWidth, kHeight, kBands, GDT_UInt16, {kX0, kPixel, 0, kY0, 0, -kPixel}},
        [&](int b, int c, int) { return kSpectra[c / kStrip][b - 1] + noise(random); });
    const fs::path cif = ScratchDir() / "regions.cif", output = ScratchDir() / "maxlik.tif";
    // File > 打开影像 with the chooser answered.
    QAction* openItem = menuItem(QStringLiteral("文件(&F)"), QStringLiteral("打开影像(&O)..."));
    ASSERT_NE(openItem, nullptr);
    ui.ChooseFileAnswer(scene.wstring());
    openItem->trigger();
    ASSERT_EQ(host.Host().LayerCount(), 1);
    ASSERT_TRUE(ui.messages.empty()) << "the scene opens";
    QPointer<CAoiEditorDlg> editor = openFromMenu<CAoiEditorDlg>(QStringLiteral("样本编辑器"));
    ASSERT_FALSE(editor.isNull());
    EXPECT_TRUE(editor->isVisible());
    // One rectangle over the left strip, added; the drawing cleared; one over
    // the right strip, added. Each rectangle's 20 x 40 pixels become a sample.
    host.ToolAction(MapView::Tool::Rectangle)->trigger();
    drawRectangle(5, 10, 25, 50);
    chooseEditorItem(*editor, CAoiEditorDlg::ID_SAMPLE_ADD);
    QAction* clearItem = menuItem(QStringLiteral("绘制(&D)"), QStringLiteral("清除绘制图形"));
    ASSERT_NE(clearItem, nullptr);
    clearItem->trigger();
    drawRectangle(65, 10, 85, 50);
    std::vector<CDrawShape*> drawn;
    host.Host().GetDrawShapes(&drawn);
    ASSERT_EQ(drawn.size(), 1u) << "only the second rectangle is left to add";
    chooseEditorItem(*editor, CAoiEditorDlg::ID_SAMPLE_ADD);
    CGridCtrl* table = editor->Table();
    ASSERT_EQ(table->GetRowCount(), 3);
    for (int r = 1; r <= 2; ++r)
        EXPECT_EQ(table->GetItemText(r, CAoiEditorDlg::COL_NAME) + L" " +
                      table->GetItemText(r, CAoiEditorDlg::COL_PIXELS),
                  L"C" + std::to_wstring(r) + L" 800");
    ui.ChooseFileAnswer(cif.wstring());
    chooseEditorItem(*editor, CAoiEditorDlg::ID_SAMPLE_SAVE);
    ASSERT_TRUE(fs::exists(cif));
    EXPECT_TRUE(editor->IsSaved());
    // 分类 > 最大似然分类: scene, sample file, output; OK starts the classifier.
    QPointer<CDlgSupperviseCommon> classify =
        openFromMenu<CDlgSupperviseCommon>(QStringLiteral("最大似然分类"));
    ASSERT_FALSE(classify.isNull());
    EXPECT_EQ(classify->Kind(), SUPERVISE_MAXIMUM_LIKELIHOOD);
    for (const auto& [button, path] : {std::pair{CDlgSupperviseCommon::IDC_INPUT_BROWSE, scene},
                                       {CDlgSupperviseCommon::IDC_SAMPLE_BROWSE, cif},
                                       {CDlgSupperviseCommon::IDC_OUTPUT_BROWSE, output}}) {
        ui.ChooseFileAnswer(path.wstring());
        classify->Item<QPushButton>(button)->click();
    }
    QPointer<ProgressWindow> progress =
        OpenNewWindow<ProgressWindow>([&] { classify->Item<QPushButton>(IDOK)->click(); });
    ASSERT_FALSE(progress.isNull()) << "the task reports in a progress window";
    EXPECT_TRUE(QTest::qWaitFor([&] { return classify.isNull(); }, 5000)) << "the window closes once started";
    CBaseAlgorithm::WaitForRunningTasks();
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress->IsFinished(); }, 5000));
    ASSERT_TRUE(fs::exists(output)) << progress->MessageText().toStdString();
    // The output: one band; the left strip is class 1 and the right strip class 2.
    const Dataset ds = OpenDataset(output);
    ASSERT_TRUE(ds);
    ASSERT_EQ(std::tuple(ds->GetRasterCount(), ds->GetRasterXSize(), ds->GetRasterYSize()),
              std::tuple(1, kWidth, kHeight));
    const std::vector<int> classes = ReadBand(output);
    std::array<std::int64_t, 3> counts{};
    int wrong = 0;
    for (size_t i = 0; i < classes.size(); ++i) {
        ASSERT_TRUE(classes[i] >= 0 && classes[i] <= 2) << classes[i];
        ++counts[classes[i]];
        const int strip = static_cast<int>(i % kWidth) / kStrip;
        wrong += (strip == 0 && classes[i] != 1) || (strip == 2 && classes[i] != 2);
    }
    EXPECT_EQ(wrong, 0);
    // The assistant file names the classes after the samples and counts their pixels.
    CClassifiedAssistantFile acf;
    ASSERT_TRUE(acf.ReadClassifiedAssistantFile(PairedAssistantFilePath(output.wstring())))
        << acf.GetLastError();
    ASSERT_EQ(acf.GetClassCount(), 3);
    for (int k = 1; k <= 2; ++k)
        EXPECT_EQ(std::tuple(acf.GetClassRecords()[k]->m_name, acf.GetClassRecords()[k]->m_pixelCount),
                  std::tuple(L"C" + std::to_wstring(k), counts[k]));
    // The editor was saved: closing it asks nothing.
    editor->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.isNull() || !editor->isVisible(); }, 5000));
    EXPECT_TRUE(ui.messages.empty());
}
