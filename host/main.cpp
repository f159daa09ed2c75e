// tessera-host: a map view of rasters with drawing tools and the library's
// windows in its "分类" menu. With --gallery it saves a screenshot of every
// window offscreen and exits. --lang chooses the language of the texts.
#include "host/gallery.h"
#include "host/hostwindow.h"
#include "host/libraryeventfilter.h"
#include "platform/translation.h"
#include "processing/basealgorithm.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QLocale>

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
    parser.addOption(
        {QStringLiteral("scene"),
         QStringLiteral("With --gallery: the raster shown in host.png and chosen in the windows."),
         QStringLiteral("RASTER")});
    parser.addOption({QStringLiteral("demo"),
                      QStringLiteral("With --gallery: a folder `tessera demo` wrote; its scene, samples and "
                                     "classified map fill the windows."),
                      QStringLiteral("DIR")});
    parser.addOption({QStringLiteral("lang"),
                      QStringLiteral("Language of the windows: zh (as written) or en. Default: en for an "
                                     "English locale, zh otherwise."),
                      QStringLiteral("LANG")});
    parser.addPositionalArgument(QStringLiteral("rasters"), QStringLiteral("Rasters to open."),
                                 QStringLiteral("[RASTER...]"));
    parser.process(app);

    const QString language = parser.isSet(QStringLiteral("lang")) ? parser.value(QStringLiteral("lang"))
                                                                  : LanguageOfLocale(QLocale::system());
    if (!SetLanguage(language))
        std::fprintf(stderr, "tessera-host: no translation into '%s'; the texts stay as written\n",
                     language.toLocal8Bit().constData());

    LibraryEventFilter keys;
    app.installEventFilter(&keys);

    if (parser.isSet(QStringLiteral("gallery"))) {
        GalleryData data;
        if (parser.isSet(QStringLiteral("demo")))
            data = GalleryData::FromDemo(parser.value(QStringLiteral("demo")));
        if (parser.isSet(QStringLiteral("scene")))
            data.scene = parser.value(QStringLiteral("scene"));
        const GalleryResult result = WriteGallery(parser.value(QStringLiteral("gallery")), data);
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
