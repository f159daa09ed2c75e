#include "host/gallery.h"

#include "accuracy/CAddRandomPointDlg.h"
#include "accuracy/CClassesAccuracyDlg.h"
#include "base/log.h"
#include "classify/CBPClassifyDlg.h"
#include "classify/CDlgSupperviseCommon.h"
#include "classify/CDlgUnsuperviseClassify.h"
#include "classify/CMinDistanceClassifyDlg.h"
#include "classify/CRandomForestDlg.h"
#include "classify/CSvmClassifyDlg.h"
#include "engine/drawshape.h"
#include "engine/rastersource.h"
#include "host/hostwindow.h"
#include "host/windowmenu.h"
#include "platform/gridctrl.h"
#include "platform/uiservices.h"
#include "platform/xdialog.h"
#include "platform/xlistbox.h"
#include "postclass/CClassesClumpDlg.h"
#include "postclass/CClassesFilterDlg.h"
#include "postclass/CClassesMergeDlg.h"
#include "postclass/CClassesStaticsDlg.h"
#include "postclass/CClassifyVectorizeDlg.h"
#include "samples/CAoiEditorDlg.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLineEdit>
#include <QPixmap>
#include <QPointer>
#include <QTextStream>

#include <deque>
#include <map>
#include <memory>

namespace {

void Log(int level, const QString& text) {
    CLog::WriteLog(level, "gallery.cpp", __LINE__, "WriteGallery", text.toStdString());
}

void SettleEvents() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

bool SaveShot(QWidget* window, const std::string& name, const QDir& dir, GalleryResult& result) {
    SettleEvents();
    const QPixmap pixmap = window->grab();
    GalleryShot shot;
    shot.name = name;
    shot.path = dir.filePath(QString::fromStdString(name) + QStringLiteral(".png"));
    shot.title = window->windowTitle();
    shot.size = window->size();
    if (pixmap.isNull() || !pixmap.save(shot.path, "PNG")) {
        result.error = QStringLiteral("cannot write %1").arg(shot.path);
        return false;
    }
    Log(LOG_LEVEL_INFO, QStringLiteral("%1 (%2x%3) %4")
                            .arg(shot.path)
                            .arg(shot.size.width())
                            .arg(shot.size.height())
                            .arg(shot.title));
    result.shots.push_back(shot);
    return true;
}

// A few shapes over the scene, placed by fractions of its extent: two
// rectangles and a polygon drawn by the user, and check points as a window
// adds them.
void DrawDemoShapes(HostController& host) {
    const CRasterSource* raster = host.ActiveRaster();
    if (!raster)
        return;
    const double w = raster->GetWidth(), h = raster->GetHeight();
    const auto at = [&](double fx, double fy) { return raster->ImageToGround(CPoint2D(fx * w, fy * h)); };
    host.AddDrawnShape(std::make_unique<CDrawShape>(DRAWSHAPE_RECTANGLE,
                                                    std::vector<CPoint2D>{at(0.1, 0.1), at(0.25, 0.22)}));
    host.AddDrawnShape(std::make_unique<CDrawShape>(DRAWSHAPE_RECTANGLE,
                                                    std::vector<CPoint2D>{at(0.6, 0.15), at(0.72, 0.3)}));
    host.AddDrawnShape(
        std::make_unique<CDrawShape>(DRAWSHAPE_POLYGON, std::vector<CPoint2D>{at(0.3, 0.6), at(0.45, 0.55),
                                                                              at(0.5, 0.75), at(0.35, 0.8)}));
    for (int i = 0; i < 8; ++i)
        host.AddPointShape(at(0.1 + 0.1 * i, 0.45 + 0.04 * (i % 3)), 255);
}

// The user's side of the windows while the gallery drives them: file
// choosers answer with the queued paths, questions with No (nothing is saved
// or discarded), modal windows run the queued scripts; nothing else is shown.
class GalleryUiServices final : public IUiServices {
public:
    std::deque<QString> files;
    std::deque<std::function<int(XDialog&)>> modals;

    int MessageBox(const MessageBoxRequest& request) override {
        Log(LOG_LEVEL_WARNING, QStringLiteral("message: %1").arg(QString::fromStdWString(request.text)));
        return IDNO;
    }
    FileDialogResult ChooseFile(const FileDialogRequest&) override {
        if (files.empty())
            return {};
        const QString path = files.front();
        files.pop_front();
        return {true, {path.toStdWString()}, 1};
    }
    std::optional<COLORREF> ChooseColor(COLORREF, unsigned) override { return std::nullopt; }
    int RunModal(XDialog& dialog) override {
        if (modals.empty())
            return IDCANCEL;
        const auto script = std::move(modals.front());
        modals.pop_front();
        return script(dialog);
    }
    bool OpenHelpPage(int, int, const std::wstring&) override { return false; }
};

// One window being filled: its commands are sent as the user's clicks, file
// choices answered with the demo data.
struct Filler {
    XDialog& window;
    GalleryUiServices& ui;
    const GalleryData& data;
    QString outputDir;

    void choose(int command, const QString& path) {
        if (path.isEmpty())
            return;
        ui.files.push_back(path);
        window.SendCommand(command);
        ui.files.clear(); // a chooser that did not open leaves nothing for the next
    }
    QString output(const QString& name) const { return QDir(outputDir).filePath(name); }
    XListBox* list(int id) const { return window.Item<XListBox>(id); }
    // Selects the list's items at these indices (negative ones count from the
    // end), as clicks would.
    void select(int id, std::initializer_list<int> indices) const {
        if (XListBox* l = list(id))
            for (int i : indices)
                if (const int at = i < 0 ? l->GetCount() + i : i; at >= 0 && at < l->GetCount())
                    l->SetSel(at);
    }
    // A supervised window: input raster, samples and output chosen.
    template <class Dlg> void supervised(const QString& output) {
        choose(Dlg::IDC_INPUT_BROWSE, data.scene);
        choose(Dlg::IDC_SAMPLE_BROWSE, data.samples);
        choose(Dlg::IDC_OUTPUT_BROWSE, this->output(output));
    }
};

// Accuracy assessment: random check points on the classified image, their
// classes shown, and the reference classes typed for the first few.
void FillAccuracy(Filler& f) {
    using D = CClassesAccuracyDlg;
    f.choose(D::ID_FILE_OPEN, f.data.classified);
    if (f.data.classified.isEmpty())
        return;
    f.ui.modals.push_back([](XDialog& dialog) {
        dialog.SetDlgItemText(CAddRandomPointDlg::IDC_POINT_COUNT, L"12");
        dialog.setResult(IDCANCEL);
        dialog.SendCommand(IDOK);
        return dialog.result() == IDOK ? IDOK : IDCANCEL;
    });
    f.window.SendCommand(D::ID_EDIT_RANDOM_POINTS);
    f.window.SendCommand(D::ID_EDIT_SHOW_CLASSES);
    f.window.SendCommand(D::ID_VIEW_SHOW_ALL);
    // The window's table, found as a child: the host links the library through its
    // exported entry points only, so it casts to no window class.
    auto* grid = f.window.findChild<CGridCtrl*>();
    if (!grid)
        return;
    for (int row = 1; row < grid->GetRowCount() && row <= 5; ++row)
        grid->SetItemText(row, D::ColReference, grid->GetItemText(row, D::ColClass));
}

// How each window is filled, by gallery name.
const std::map<std::string, std::function<void(Filler&)>>& Fillers() {
    using Unsupervised = CDlgUnsuperviseClassify;
    const auto common = [](const char* output) {
        return [output](Filler& f) { f.supervised<CDlgSupperviseCommon>(QString::fromLatin1(output)); };
    };
    static const std::map<std::string, std::function<void(Filler&)>> fillers{
        {"CDlgUnsuperviseClassify",
         [](Filler& f) {
             f.choose(Unsupervised::IDC_INPUT_BROWSE, f.data.scene);
             f.window.CheckDlgButton(Unsupervised::IDC_METHOD_ISODATA, true);
             f.window.SendCommand(Unsupervised::IDC_METHOD_ISODATA);
             f.choose(Unsupervised::IDC_OUTPUT_BROWSE, f.output(QStringLiteral("isodata.tif")));
         }},
        {"CMinDistanceClassifyDlg",
         [](Filler& f) { f.supervised<CMinDistanceClassifyDlg>(QStringLiteral("mindist.tif")); }},
        {"CDlgSupperviseCommon-1", common("maxlik.tif")},
        {"CDlgSupperviseCommon-2", common("mahalanobis.tif")},
        {"CDlgSupperviseCommon-3", common("sam.tif")},
        {"CDlgSupperviseCommon-4", common("parallelepiped.tif")},
        {"CSvmClassifyDlg", [](Filler& f) { f.supervised<CSvmClassifyDlg>(QStringLiteral("svm.tif")); }},
        {"CBPClassifyDlg", [](Filler& f) { f.supervised<CBPClassifyDlg>(QStringLiteral("bpnn.tif")); }},
        {"CRandomForestDlg", [](Filler& f) { f.supervised<CRandomForestDlg>(QStringLiteral("rf.tif")); }},
        {"CAoiEditorDlg", [](Filler& f) { f.choose(CAoiEditorDlg::ID_SAMPLE_OPEN, f.data.samples); }},
        {"CClassesAccuracyDlg", FillAccuracy},
        {"CClassesMergeDlg",
         [](Filler& f) {
             using D = CClassesMergeDlg;
             f.choose(D::IDC_INPUT_BROWSE, f.data.classified);
             f.choose(D::IDC_OUTPUT_BROWSE, f.output(QStringLiteral("merged.tif")));
             f.select(D::IDC_INPUT_CLASSES, {-1}); // the last class into the one before it
             f.select(D::IDC_OUTPUT_CLASSES, {-2});
             f.window.SendCommand(D::IDC_ADD_MERGE);
         }},
        {"CClassesFilterDlg",
         [](Filler& f) {
             using D = CClassesFilterDlg;
             f.choose(D::IDC_INPUT_BROWSE, f.data.classified);
             f.choose(D::IDC_OUTPUT_BROWSE, f.output(QStringLiteral("sieved.tif")));
             f.select(D::IDC_INPUT_CLASSES, {-1, -3});
             f.window.SendCommand(D::IDC_ADD);
         }},
        {"CClassesClumpDlg",
         [](Filler& f) {
             using D = CClassesClumpDlg;
             f.choose(D::IDC_INPUT_BROWSE, f.data.classified);
             f.choose(D::IDC_OUTPUT_BROWSE, f.output(QStringLiteral("clumped.tif")));
             f.window.SendCommand(D::IDC_SELECT_ALL);
         }},
        {"CClassesStaticsDlg",
         [](Filler& f) { f.choose(CClassesStaticsDlg::ID_FILE_OPEN_CLASSIFIED, f.data.classified); }},
        {"CClassifyVectorizeDlg",
         [](Filler& f) {
             using D = CClassifyVectorizeDlg;
             f.choose(D::IDC_INPUT_BROWSE, f.data.classified);
             f.choose(D::IDC_OUTPUT_BROWSE, f.output(QStringLiteral("classes.shp")));
             f.select(D::IDC_INPUT_CLASSES, {0, 1});
             f.window.SendCommand(D::IDC_ADD_SELECTED);
         }},
    };
    return fillers;
}

} // namespace

GalleryData GalleryData::FromDemo(const QString& dir) {
    const QDir demo(dir);
    return {demo.filePath(QStringLiteral("scene/scene.tif")), demo.filePath(QStringLiteral("samples.cif")),
            demo.filePath(QStringLiteral("maxlik.tif"))};
}

QString FindCjkFont() {
    const QStringList families = QFontDatabase::families();
    QString fallback;
    for (const QString& family : families) {
        if (family.contains(QStringLiteral("CJK"), Qt::CaseInsensitive)) {
            if (family.contains(QStringLiteral("Sans CJK SC"), Qt::CaseInsensitive))
                return family;
            if (fallback.isEmpty())
                fallback = family;
        }
    }
    if (!fallback.isEmpty())
        return fallback;
    for (const QString& family : families)
        if (QFontDatabase::writingSystems(family).contains(QFontDatabase::SimplifiedChinese))
            return family;
    return {};
}

GalleryResult WriteGallery(const QString& dirPath, const GalleryData& data, const GalleryInspector& inspect) {
    GalleryResult result;
    QDir dir(dirPath);
    if (!dir.mkpath(QStringLiteral("."))) {
        result.error = QStringLiteral("cannot create %1").arg(dirPath);
        return result;
    }

    result.cjkFont = FindCjkFont();
    if (result.cjkFont.isEmpty()) {
        Log(LOG_LEVEL_WARNING, QStringLiteral("no CJK font found: Chinese texts will not render "
                                              "(install fonts-noto-cjk)"));
    } else {
        Log(LOG_LEVEL_INFO, QStringLiteral("CJK font found: %1").arg(result.cjkFont));
        // Chinese text falls back to it whatever the default family is.
        QFont::insertSubstitution(QApplication::font().family(), result.cjkFont);
    }

    GalleryUiServices ui;
    const ScopedUiServices scripted(ui);
    const auto shoot = [&](QWidget& window, const std::string& name) {
        SettleEvents();
        if (inspect)
            inspect(name, window);
        return SaveShot(&window, name, dir, result);
    };

    HostWindow host;
    if (!data.scene.isEmpty()) {
        if (!host.Host().OpenRaster(data.scene.toStdWString())) {
            result.error = QStringLiteral("cannot open the scene %1").arg(data.scene);
            return result;
        }
        DrawDemoShapes(host.Host());
        // A classification's result over the scene, its classes in the legend.
        if (!data.classified.isEmpty())
            host.AddTaskOutput(data.classified.toStdWString());
        host.show();
        host.Map().ZoomToExtent();
        if (!shoot(host, "host"))
            return result;
    }

    const QString outputDir =
        QFileInfo(data.classified.isEmpty() ? data.scene : data.classified).dir().path();
    for (const WindowEntry& entry : LibraryWindows()) {
        const QWidgetList before = QApplication::topLevelWidgets();
        entry.open(&host.Host());
        QPointer<QWidget> window;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (!before.contains(w) && w->isVisible() && w->isWindow())
                window = w;
        if (window.isNull()) {
            Log(LOG_LEVEL_WARNING,
                QStringLiteral("%1 opened no window").arg(QString::fromStdString(entry.galleryName)));
            continue;
        }
        const auto fill = Fillers().find(entry.galleryName);
        if (auto* dialog = qobject_cast<XDialog*>(window.data()); dialog && fill != Fillers().end()) {
            Filler filler{*dialog, ui, data, outputDir};
            fill->second(filler);
        }
        const bool saved = !window.isNull() && shoot(*window, entry.galleryName);
        if (!window.isNull())
            window->close();
        SettleEvents();
        if (!saved) {
            if (result.error.isEmpty())
                result.error =
                    QStringLiteral("%1 closed itself").arg(QString::fromStdString(entry.galleryName));
            return result;
        }
    }

    QFile index(dir.filePath(QStringLiteral("index.md")));
    if (index.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
        QTextStream out(&index);
        out << "# Tessera windows\n\n";
        for (const GalleryShot& shot : result.shots)
            out << "## " << (shot.title.isEmpty() ? QString::fromStdString(shot.name) : shot.title)
                << "\n\n![" << QString::fromStdString(shot.name) << "](" << QString::fromStdString(shot.name)
                << ".png)\n\n";
    }
    host.close();
    SettleEvents();
    return result;
}
