// The gallery with the windows in use, and the windows in English.
#include "accuracy/CAddRandomPointDlg.h"
#include "common/messages.h"
#include "entry/tesseramodule.h"
#include "host/gallery.h"
#include "host/windowmenu.h"
#include "platform/dialogtemplate.h"
#include "platform/modulestate.h"
#include "platform/translation.h"
#include "platform/xdialog.h"
#include "support/fixtures.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QToolButton>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

namespace {

// Every text a window shows: title, controls, list entries, table cells and
// headers, menus.
QStringList ShownTexts(QWidget& window) {
    QStringList texts{window.windowTitle()};
    for (QLabel* w : window.findChildren<QLabel*>())
        texts << w->text();
    for (QAbstractButton* w : window.findChildren<QAbstractButton*>())
        texts << w->text();
    for (QGroupBox* w : window.findChildren<QGroupBox*>())
        texts << w->title();
    for (QLineEdit* w : window.findChildren<QLineEdit*>())
        texts << w->text();
    for (QComboBox* w : window.findChildren<QComboBox*>())
        for (int i = 0; i < w->count(); ++i)
            texts << w->itemText(i);
    for (QListWidget* w : window.findChildren<QListWidget*>())
        for (int i = 0; i < w->count(); ++i)
            texts << w->item(i)->text();
    for (QTableWidget* w : window.findChildren<QTableWidget*>()) {
        for (int c = 0; c < w->columnCount(); ++c)
            if (QTableWidgetItem* h = w->horizontalHeaderItem(c))
                texts << h->text();
        for (int r = 0; r < w->rowCount(); ++r)
            for (int c = 0; c < w->columnCount(); ++c)
                if (QTableWidgetItem* item = w->item(r, c))
                    texts << item->text();
    }
    for (QTreeWidget* w : window.findChildren<QTreeWidget*>())
        for (int c = 0; c < w->columnCount(); ++c) {
            texts << w->headerItem()->text(c);
            for (int i = 0; i < w->topLevelItemCount(); ++i)
                texts << w->topLevelItem(i)->text(c);
        }
    for (QMenuBar* bar : window.findChildren<QMenuBar*>())
        for (QAction* a : bar->findChildren<QAction*>())
            texts << a->text();
    for (QMenu* menu : window.findChildren<QMenu*>())
        for (QAction* a : menu->actions())
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
    const RasterSpec spec{60, 40, 3, GDT_UInt16, {1000, 2, 0, 5000, 0, -2}};
    WriteRaster(dir / "scene.tif", spec, [](int b, int c, int r) { return b * 100 + c + r; });
    const auto classOf = [](int c, int r) { return 1 + (c / 20 + r / 20) % 3; };
    WriteRaster(dir / "classified.tif", {60, 40, 1, GDT_Byte, spec.geo},
                [&](int, int c, int r) { return classOf(c, r); });
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
std::map<std::string, QStringList> ShowGallery(const std::string& folder, const GalleryInspector& also = {}) {
    std::map<std::string, QStringList> shown;
    const GalleryResult result = WriteGallery(QString::fromStdWString(WPath(Scratch(folder))), DemoData(),
                                              [&](const std::string& name, QWidget& window) {
                                                  shown[name] = ShownTexts(window);
                                                  if (also)
                                                      also(name, window);
                                              });
    EXPECT_TRUE(result.ok()) << result.error.toStdString();
    EXPECT_EQ(shown.size(), LibraryWindows().size() + 1); // and the host
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
            if (name != "CClassesStaticsDlg") // which shows the image's rows only
                EXPECT_GE(has(name, "classified.tif"), 1) << name << ": the classified image is chosen";
            if (name != "CClassesAccuracyDlg")
                EXPECT_GE(classes(name), 3) << name << ": its classes are listed";
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

    std::map<std::string, QStringList> clipped;
    for (const auto& [name, texts] : ShowGallery("gallery-en", [&](const std::string&name, QWidget&window) {
             clipped[name] = ClippedTexts(window);
         })) {
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
    // Every dialog template of the library, the ones no gallery window shows included.
    const ModuleState& module = TesseraModuleState();
    for (int id = 6000; id < 6100; ++id) {
        if (const DialogTemplate* dialog = module.FindDialogTemplate(id)) {
            EXPECT_FALSE(HasChinese(Translate(dialog->title))) << id;
            for (const ControlTemplate& c : dialog->controls)
                EXPECT_FALSE(HasChinese(Translate(c.text))) << id << ": " << Narrow(c.text);
        }
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
