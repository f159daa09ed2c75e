// The gallery with the windows in use, and the windows in English.
#include "accuracy/CAddRandomPointDlg.h"
#include "common/messages.h"
#include "entry/tesseramodule.h"
#include "host/gallery.h"
#include "host/windowmenu.h"
#include "platform/translation.h"
#include "platform/xdialog.h"
#include "support/fixtures.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSet>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

// Every text a window shows: title, controls' texts and titles, the entries
// and headers of lists, tables and drop-downs, menus.
QStringList ShownTexts(QWidget& window) {
    QStringList texts{window.windowTitle()};
    for (QWidget* w : window.findChildren<QWidget*>())
        texts << w->property("text").toString() << w->property("title").toString();
    QSet<const QAbstractItemModel*> models; // a table's headers share its model
    for (QAbstractItemView* view : window.findChildren<QAbstractItemView*>())
        models << view->model();
    for (QComboBox* combo : window.findChildren<QComboBox*>())
        models << combo->model();
    for (const QAbstractItemModel* m : models)
        for (int c = 0; c < m->columnCount(); ++c) {
            texts << m->headerData(c, Qt::Horizontal).toString();
            for (int r = 0; r < m->rowCount(); ++r)
                texts << m->index(r, c).data().toString();
        }
    for (QAction* a : window.findChildren<QAction*>())
        texts << a->text();
    return texts;
}

// Label and button texts wider than their controls.
QStringList ClippedTexts(QWidget& window) {
    QStringList clipped;
    for (QLabel* w : window.findChildren<QLabel*>())
        if (!w->wordWrap() && w->isVisible() && w->fontMetrics().horizontalAdvance(w->text()) > w->width())
            clipped << w->text();
    for (QAbstractButton* w : window.findChildren<QAbstractButton*>()) {
        if (qobject_cast<QToolButton*>(w) || w->text().isEmpty())
            continue;                                             // tool buttons size themselves
        const int frame = qobject_cast<QPushButton*>(w) ? 8 : 24; // a push button's margins, or an indicator
        if (w->isVisible() && w->fontMetrics().horizontalAdvance(w->text()) + frame > w->width())
            clipped << w->text();
    }
    return clipped;
}

bool HasChinese(const QString& text) {
    return std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x3000; });
}

// A scene, its samples and a classified image of three classes with their
// assistant file, the class names in English.
GalleryData DemoData() {
    const fs::path dir = Scratch("demo");
    const RasterSpec scene{60, 40, 3, GDT_UInt16, {1000, 2, 0, 5000, 0, -2}};
    WriteRaster(dir / "scene.tif", scene, [](int b, int c, int r) { return b * 100 + c + r; });
    WriteRaster(dir / "classified.tif", {60, 40, 1, GDT_Byte, scene.geo},
                [](int, int c, int r) { return 1 + (c / 20 + r / 20) % 3; });
    WriteAcf(dir / "classified.tif",
             {{L"water", 1, 800, 0xff0000}, {L"forest", 2, 800, 0x00ff00}, {L"field", 3, 800, 0x00ffff}}, 2,
             -2);
    WriteSamples(dir / "samples.cif", 3,
                 {NewSample(L"water", 3, {100, 200, 300}, {}, 40),
                  NewSample(L"forest", 3, {120, 220, 320}, {}, 30),
                  NewSample(L"field", 3, {140, 240, 340}, {}, 20)});
    const auto q = [&](const char* name) { return QString::fromStdWString(WPath(dir / name)); };
    return {q("scene.tif"), q("samples.cif"), q("classified.tif")};
}

// The texts each window of the gallery shows; `also` sees each window too.
// Each shot is a non-blank image of its window's size, and no window stays open.
std::map<std::string, QStringList> ShowGallery(const std::string& folder, const GalleryInspector& also = {}) {
    std::map<std::string, QStringList> shown;
    const fs::path dir = Scratch(folder);
    const GalleryResult result = WriteGallery(QString::fromStdWString(WPath(dir)), DemoData(),
                                              [&](const std::string& name, QWidget& window) {
                                                  shown[name] = ShownTexts(window);
                                                  if (also)
                                                      also(name, window);
                                              });
    EXPECT_TRUE(result.ok()) << result.error.toStdString();
    EXPECT_EQ(shown.size(), LibraryWindows().size() + 1); // and the host
    EXPECT_EQ(result.shots.size(), shown.size());
    for (const GalleryShot& shot : result.shots) {
        QImage image;
        EXPECT_TRUE(image.load(QString::fromStdString((dir / (shot.name + ".png")).string())) &&
                    image.size() == shot.size && image.width() > 100)
            << shot.name;
        const QRgb first = image.pixel(0, 0);
        bool blank = true;
        for (int y = 0; y < image.height() && blank; ++y)
            for (int x = 0; x < image.width() && blank; ++x)
                blank = image.pixel(x, y) == first;
        EXPECT_FALSE(blank) << shot.name;
    }
    EXPECT_TRUE(fs::exists(dir / "index.md"));
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(w->isVisible() && qobject_cast<XDialog*>(w)) << w->windowTitle().toStdString();
    // The Chinese titles have glyphs in the font found.
    EXPECT_FALSE(result.cjkFont.isEmpty()) << "install fonts-noto-cjk";
    const QFontMetrics metrics{QFont(result.cjkFont)};
    for (const WindowEntry& e : LibraryWindows())
        for (QChar c : QString::fromStdWString(e.title))
            EXPECT_TRUE(metrics.inFont(c)) << e.galleryName;
    return shown;
}

int CountContaining(const QStringList& texts, const QString& part) {
    return static_cast<int>(
        std::count_if(texts.begin(), texts.end(), [&](const QString& t) { return t.contains(part); }));
}

TEST(Workbench, GalleryShowsEachWindowInUse) {
    std::map<std::string, QStringList> shown = ShowGallery("gallery-in-use");
    const auto has = [&](const std::string& window, const char* part) {
        return CountContaining(shown[window], QString::fromLatin1(part));
    };
    const auto classes = [&](const std::string& window) {
        return has(window, "water") + has(window, "forest") + has(window, "field");
    };
    for (const WindowEntry& e : LibraryWindows()) {
        const std::string& name = e.galleryName;
        if (name.starts_with("CBP") || name.starts_with("CSvm") || name.starts_with("CMin") ||
            name.starts_with("CDlgSupperviseCommon")) { // input, samples and output chosen
            EXPECT_GE(has(name, "scene.tif"), 1) << name;
            EXPECT_GE(has(name, "samples.cif"), 1) << name;
            EXPECT_GE(has(name, ".tif"), 3) << name;
        } else if (name.starts_with("CClasses") || name.starts_with("CClassify")) {
            // The statistics window shows the image's rows only; the accuracy window no class list.
            EXPECT_TRUE(name == "CClassesStaticsDlg" || has(name, "classified.tif") >= 1) << name;
            EXPECT_TRUE(name == "CClassesAccuracyDlg" || classes(name) >= 3) << name;
        }
    }
    EXPECT_GE(has("CDlgUnsuperviseClassify", "scene.tif"), 1);
    EXPECT_GE(has("CDlgUnsuperviseClassify", "isodata.tif"), 1);
    EXPECT_EQ(classes("CAoiEditorDlg"), 3) << "the sample table lists the samples";
    EXPECT_EQ(has("CClassesMergeDlg", "+"), 1) << "one merge entered";
    EXPECT_GE(classes("CClassesFilterDlg"), 5) << "two classes chosen to filter";
    EXPECT_GE(classes("CClassifyVectorizeDlg"), 5) << "two classes chosen to vectorize";
    // Accuracy: twelve check points with their classes, five with a reference class typed.
    EXPECT_EQ(has("CClassesAccuracyDlg", "#Pt"), 12);
    const QStringList& cells = shown["CClassesAccuracyDlg"];
    EXPECT_EQ(std::count_if(cells.begin(), cells.end(),
                            [](const QString& t) { return t == "1" || t == "2" || t == "3"; }),
              12 + 5);
    // The host shows the classified image over the scene, its classes in the legend.
    EXPECT_GE(has("host", "classified.tif"), 1);
    EXPECT_EQ(classes("host"), 3);
}

TEST(Workbench, EnglishWindowsShowNoChinese) {
    ASSERT_TRUE(SetLanguage(QStringLiteral("en")));
    struct Restore {
        ~Restore() { SetLanguage(QStringLiteral("zh")); }
    } restore;
    EXPECT_EQ(CurrentLanguage(), QStringLiteral("en"));

    // Every window, filled, and every text it shows; no label or button text cut off.
    std::map<std::string, QStringList> clipped;
    const auto clips = [&](const std::string& name, QWidget& window) {
        clipped[name] = ClippedTexts(window);
    };
    for (const auto& [name, texts] : ShowGallery("gallery-en", clips)) {
        for (const QString& text : texts)
            EXPECT_FALSE(HasChinese(text)) << name << ": " << text.toStdString();
        EXPECT_TRUE(clipped[name].isEmpty()) << name << ": " << clipped[name].join(" | ").toStdString();
    }
    { // the random point dialog, which the accuracy window runs modally
        const TesseraModuleGuard module;
        CAddRandomPointDlg dialog;
        ASSERT_TRUE(dialog.Create());
        dialog.show();
        EXPECT_FALSE(HasChinese(ShownTexts(dialog).join(QString())));
        EXPECT_TRUE(ClippedTexts(dialog).isEmpty()) << ClippedTexts(dialog).join(" | ").toStdString();
    }
    // Messages: shared texts, and the number refusals with their values filled in.
    for (const wchar_t* text :
         {Caption::Notice, Caption::Error, Caption::Warning, Msg::AssistantFileNotFound,
          Msg::AssistantResultFileNotFound, Msg::AssistantFileReadFailed, Msg::ImageOpenFailed})
        EXPECT_FALSE(HasChinese(Translate(std::wstring(text)))) << Narrow(text);
    EXPECT_EQ(NumberMessages::IntegerRange(1, 5), L"Please enter an integer between 1 and 5.");
    EXPECT_EQ(NumberMessages::NumberRange(0, 0.5), L"Please enter a number between 0 and 0.5.");

    // Back to the texts as written.
    ASSERT_TRUE(SetLanguage(QStringLiteral("zh")));
    EXPECT_EQ(NumberMessages::IntegerRange(1, 5), L"请输入一个介于 1 和 5 之间的整数。");
    EXPECT_EQ(Translate(QStringLiteral("确定")), QStringLiteral("确定"));
    EXPECT_FALSE(SetLanguage(QStringLiteral("xx"))) << "no such translation";
    EXPECT_EQ(LanguageOfLocale(QLocale(QLocale::English, QLocale::UnitedKingdom)), QStringLiteral("en"));
    EXPECT_EQ(LanguageOfLocale(QLocale::c()), QStringLiteral("zh"));
}

} // namespace
