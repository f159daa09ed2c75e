// tessera-host: a map view of rasters with drawing tools and the library's
// windows in its "分类" menu. With --gallery it saves a screenshot of every
// window offscreen and exits.
#include "host/gallery.h"
#include "host/hostwindow.h"
#include "host/libraryeventfilter.h"
#include "processing/basealgorithm.h"

#include <QApplication>
#include <QCommandLineParser>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The offscreen platform reports each window-system request it ignores
// ("This plugin does not support propagateSizeHints()"): noise for the
// gallery, which needs none of them.
QtMessageHandler defaultHandler = nullptr;
void withoutOffscreenNoise(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (!message.startsWith(QLatin1String("This plugin does not support")))
        defaultHandler(type, context, message);
}

} // namespace

int main(int argc, char** argv) {
    // The gallery needs no display.
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--gallery") == 0 || std::strncmp(argv[i], "--gallery=", 10) == 0) {
            setenv("QT_QPA_PLATFORM", "offscreen", 0);
            defaultHandler = qInstallMessageHandler(withoutOffscreenNoise);
            break;
        }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tessera-host"));
    std::setlocale(LC_NUMERIC, "C"); // GDAL and the number fields read '.' decimals

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Tessera host: map view, drawing tools and the classification windows."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("gallery"),
                      QStringLiteral("Save a PNG of every window into DIR and exit."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("scene"),
                      QStringLiteral("With --gallery: the raster shown in host.png."),
                      QStringLiteral("RASTER")});
    parser.addPositionalArgument(QStringLiteral("rasters"), QStringLiteral("Rasters to open."),
                                 QStringLiteral("[RASTER...]"));
    parser.process(app);

    LibraryEventFilter keys;
    app.installEventFilter(&keys);

    if (parser.isSet(QStringLiteral("gallery"))) {
        const GalleryResult result =
            WriteGallery(parser.value(QStringLiteral("gallery")), parser.value(QStringLiteral("scene")));
        for (const GalleryShot& shot : result.shots)
            std::printf("%s\n", shot.path.toLocal8Bit().constData());
        if (!result.ok())
            std::fprintf(stderr, "tessera-host: %s\n", result.error.toLocal8Bit().constData());
        return result.ok() ? 0 : 1;
    }

    int code = 0;
    {
        HostWindow window;
        for (const QString& path : parser.positionalArguments())
            window.OpenRaster(path.toStdWString());
        window.show();
        code = app.exec();
        // Tasks started from the windows finish before the host goes away.
        CBaseAlgorithm::WaitForRunningTasks();
    }
    return code;
}
