#include "host/gallery.h"

#include "base/log.h"
#include "engine/drawshape.h"
#include "engine/rastersource.h"
#include "host/hostwindow.h"
#include "host/windowmenu.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QPixmap>
#include <QPointer>
#include <QTextStream>

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

} // namespace

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

GalleryResult WriteGallery(const QString& dirPath, const QString& scene) {
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

    HostWindow host;
    if (!scene.isEmpty()) {
        if (!host.Host().OpenRaster(scene.toStdWString())) {
            result.error = QStringLiteral("cannot open the scene %1").arg(scene);
            return result;
        }
        DrawDemoShapes(host.Host());
        host.show();
        host.Map().ZoomToExtent();
        if (!SaveShot(&host, "host", dir, result))
            return result;
    }

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
        const bool saved = SaveShot(window, entry.galleryName, dir, result);
        if (!window.isNull())
            window->close();
        SettleEvents();
        if (!saved)
            return result;
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
