// The frame the windows stand on: base, toolkit, shared dialog services and
// the entry points.
#include "base/commonfun.h"
#include "base/log.h"
#include "common/filters.h"
#include "common/helptopics.h"
#include "common/numericguard.h"
#include "common/uicommonfun.h"
#include "entry/tesseramodule.h"
#include "entry/tesserauiapp.h"
#include "entry/tesserauilib.h"
#include "platform/filefilter.h"
#include "platform/gridctrl.h"
#include "platform/xcombobox.h"
#include "platform/xdialog.h"
#include "platform/xlistbox.h"
#include "support/fixtures.h"
#include "support/scriptedhost.h"
#include "support/scripteduiservices.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <stdexcept>

TEST(CommonFun, NarrowEncodingNumbersAndPathPieces) {
    const std::wstring text = L"分类/样本 a\u00e9\U0001F600.cif";
    const std::string narrow = CommonFun::U2M(text);
    EXPECT_EQ(narrow, "\xe5\x88\x86\xe7\xb1\xbb/\xe6\xa0\xb7\xe6\x9c\xac a\xc3\xa9\xf0\x9f\x98\x80.cif");
    EXPECT_EQ(CommonFun::M2U(narrow), text);
    // Malformed input never throws and never reads past the end.
    EXPECT_EQ(CommonFun::M2U(std::string("a\xe5\x88")), L"a\xFFFD\xFFFD");
    EXPECT_EQ(CommonFun::M2U(std::string("\xc0\xaf")), L"\xFFFD\xFFFD"); // overlong "/"
    EXPECT_EQ(CommonFun::U2M(static_cast<const wchar_t*>(nullptr)), "");
    // Numbers read like the C runtime; the callers mask to a byte (300 keeps its low 8 bits).
    const std::pair<const wchar_t*, int> numbers[] = {{L"255", 255},
                                                      {L"  -12abc", -12},
                                                      {L"x1", 0},
                                                      {L"99999999999999999999", 2147483647},
                                                      {L"-99999999999999999999", -2147483647 - 1},
                                                      {L"300", 300}};
    for (auto [number, value] : numbers)
        EXPECT_EQ(CommonFun::wsting2int(number), value) << Narrow(number);
    EXPECT_EQ(CommonFun::wsting2int(L"300") & 0xFF, 44);
    // Extensions: the last dot of the file name, as written. (The model path beside
    // an output raster, checked with the SVM window, joins the other pieces.)
    EXPECT_EQ(CommonFun::GetExtensionName(L"/data/out.v1/roads"), L"");
    EXPECT_EQ(CommonFun::GetExtensionName(L"roads.SHP"), L"SHP");
    EXPECT_EQ(CommonFun::GetExtensionName(L"a.tar.gz"), L"gz");
    EXPECT_EQ(CommonFun::GetFileDirectory(L"/data/out/class.tif", false), L"/data/out");
    EXPECT_EQ(CommonFun::GetFileDirectory(L"/class.tif", true), L"/");
}

namespace {

constexpr int kEditPath = 1001, kCount = 1003, kRatio = 1004;
constexpr int kMenuOpen = 2001, kMenuSave = 2002;

// A small window in the shape of the library's windows: number exchange and a
// menu whose states follow the fields.
class SampleDialog : public XDialog {
public:
    enum { IDD = 9001 };
    SampleDialog() : XDialog(IDD) {
        BindText(kEditPath, m_path);
        BindInt(kCount, m_count, std::make_pair(1, 255));
        BindDouble(kRatio, m_ratio);
    }
    static void RegisterTemplates() {
        DialogTemplate d;
        d.id = 9001;
        d.title = L"样例窗口";
        d.width = 320;
        d.height = 160;
        d.menuId = 9002;
        d.controls = {{ControlKind::Edit, kEditPath, L"", 90, 10, 160, 22},
                      {ControlKind::Edit, kCount, L"", 90, 40, 60, 22},
                      {ControlKind::Edit, kRatio, L"", 160, 40, 60, 22},
                      {ControlKind::DefaultButton, IDOK, L"确定", 140, 120, 70, 26}};
        TesseraModuleState().AddDialogTemplate(d);
        MenuTemplate m;
        m.id = 9002;
        m.items = {{L"文件(&F)", 0, {{L"打开(&O)\tCtrl+O", kMenuOpen}, {L"保存(&S)", kMenuSave}}}};
        TesseraModuleState().AddMenuTemplate(m);
    }

    std::wstring m_path;
    int m_count = 5;
    double m_ratio = 0.5;

protected:
    bool OnInitDialog() override {
        UpdateData(false);
        return true;
    }
    void OnUpdateCommand(int id, CCmdUI& ui) override {
        if (id == kMenuSave)
            ui.Enable(!m_path.empty());
    }
};

} // namespace

TEST(Toolkit, TemplatesComeFromTheCurrentModuleUpdateDataRefusesBadNumbersAndMenuStatesFollowTheOpening) {
    ScriptedUiServices ui;
    ScopedUiServices scope{ui};
    SampleDialog::RegisterTemplates();
    SampleDialog outside, dialog;
    EXPECT_FALSE(outside.Create()); // the host's module has no template 9001
    {
        TesseraModuleGuard context;
        ASSERT_TRUE(dialog.Create());
    }
    EXPECT_EQ(dialog.OwnerModule(), &TesseraModuleState());
    EXPECT_EQ(dialog.GetWindowText(), L"样例窗口");
    // Members written by UpdateData(false).
    EXPECT_EQ(dialog.GetDlgItemText(kCount) + L" " + dialog.GetDlgItemText(kRatio), L"5 0.5");
    EXPECT_TRUE(dialog.Item<QPushButton>(IDOK) != nullptr && dialog.GetDlgItem(4242) == nullptr);
    // A refused field stops the reading with the toolkit's message; the fields before it are read.
    dialog.SetDlgItemText(kEditPath, L"/x.tif");
    dialog.SetDlgItemText(kCount, L"300");
    EXPECT_FALSE(dialog.UpdateData(true));
    EXPECT_EQ(ui.Shown(), std::vector<std::wstring>{L"请输入一个介于 1 和 255 之间的整数。 | "});
    EXPECT_EQ(std::tuple(dialog.m_path, dialog.m_count), std::tuple(std::wstring(L"/x.tif"), 5));
    // Menu states are asked when the menu opens; the shortcut is text only, not bound.
    QAction* save = dialog.MenuAction(kMenuSave);
    ASSERT_TRUE(dialog.GetMenu() && save);
    EXPECT_EQ(dialog.MenuAction(kMenuOpen)->text(), "打开(&O)\tCtrl+O");
    EXPECT_TRUE(dialog.MenuAction(kMenuOpen)->shortcut().isEmpty());
    dialog.SetDlgItemText(kEditPath, L"");
    dialog.SetDlgItemText(kCount, L"12");
    EXPECT_TRUE(dialog.UpdateData(true));
    dialog.UpdateMenuStates();
    EXPECT_FALSE(save->isEnabled());
    dialog.SetDlgItemText(kEditPath, L"/x.tif");
    dialog.UpdateData(true);
    EXPECT_FALSE(save->isEnabled()); // unchanged until the menu opens again
    dialog.UpdateMenuStates();
    EXPECT_TRUE(save->isEnabled());
}

TEST(Controls, SortedListsAndSelections) {
    XComboBox combo(true);
    combo.AddString(L"K-Means");
    combo.AddString(L"isodata");
    EXPECT_EQ(combo.AddString(L"Bravo"), 0);
    EXPECT_EQ(std::tuple(combo.GetLBText(1), combo.GetCurSel()),
              std::tuple(L"isodata", -1)); // none chosen yet
    EXPECT_EQ(combo.SetCurSel(2), 2);
    EXPECT_EQ(combo.GetLBText(combo.GetCurSel()), L"K-Means");
    EXPECT_EQ(combo.SetCurSel(5), -1);
    EXPECT_EQ(std::tuple(combo.GetCurSel(), combo.FindStringExact(L"k-means")), std::tuple(-1, 2));
    XListBox list(true);
    for (const wchar_t* t : {L"1", L"2", L"3", L"4"})
        list.AddString(t);
    list.SetSel(1);
    list.SetSel(3);
    EXPECT_EQ(list.GetSelItems(), (std::vector<int>{1, 3}));
    list.SetItemData(3, 1LL << 40);
    EXPECT_EQ(list.DeleteString(1), 3);
    EXPECT_EQ(std::tuple(list.GetSelItems(), list.GetItemData(2), list.DeleteString(7)),
              std::tuple(std::vector<int>{2}, 1LL << 40, -1));
}

// The sample editor and the accuracy window drive the grid's rows, selection,
// colours and editable cells; what they do not reach is here.
TEST(GridCtrl, HeaderRowsRangesAndEditingInPlace) {
    CGridCtrl grid;
    grid.SetRowCount(3);
    grid.SetColumnCount(3);
    grid.SetFixedRowCount(1);
    grid.SetFixedColumnCount(1);
    EXPECT_FALSE(grid.IsCellEditable(0, 1)); // fixed cells never are
    EXPECT_TRUE(grid.GetItemState(0, 2) & GVIS_FIXED);
    EXPECT_FALSE(grid.DeleteRow(0) || grid.SetItemText(7, 1, L"x"));
    EXPECT_EQ(grid.GetItemText(7, 1), L"");
    std::vector<std::pair<int, int>> edited;
    QObject::connect(&grid, &CGridCtrl::CellEdited, [&](int r, int c) { edited.emplace_back(r, c); });
    grid.SetItemText(1, 1, L"set by code"); // not an edit
    grid.item(1, 0)->setText("typed");      // body cell (2, 1) as the user's editor commits it
    EXPECT_EQ(edited, (std::vector<std::pair<int, int>>{{2, 1}}));
    EXPECT_EQ(grid.GetItemText(2, 1), L"typed");
    // The corner cell's text is painted in the view's corner, not only stored.
    grid.resize(300, 120);
    grid.show();
    auto* corner = grid.findChild<QAbstractButton*>(QString(), Qt::FindDirectChildrenOnly);
    ASSERT_TRUE(corner && corner->isVisible());
    const auto inkInCorner = [&] {
        const QImage image = corner->grab().toImage();
        int ink = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                ink += qGray(image.pixel(x, y)) < 128;
        return ink;
    };
    const int blank = inkInCorner();
    grid.SetItemText(0, 0, L"序号");
    EXPECT_GT(inkInCorner(), blank + 10);
    // Emptying keeps nothing; a re-initialised grid starts from its header.
    grid.DeleteAllItems();
    EXPECT_EQ(grid.GetRowCount(), 0);
    grid.SetRowCount(1);
    grid.SetColumnCount(6);
    EXPECT_EQ(grid.GetItemText(0, 1), L"");
}

TEST(SharedServices, FiltersExtensionReplacementAndTheAssistantFileRule) {
    // The chooser sees every filter entry in order with its patterns.
    const auto entries = ParseFileFilter(Filters::RasterInput);
    ASSERT_EQ(std::tuple(entries.size(), entries.front().patterns.size()), std::tuple(35u, 40u));
    EXPECT_EQ(
        std::tuple(entries[5].description, entries[5].patterns, entries.back().description),
        std::tuple(L"BLX (*.blx, *.xlb)", std::vector<std::wstring>{L"*.blx", L"*.xlb"}, L"所有文件 (*.*)"));
    EXPECT_EQ(ToQtNameFilters(ParseFileFilter(Filters::SampleOpen)),
              (std::vector<std::wstring>{L"(*.cif) (*.cif)", L"所有文件 (*.*) (*.*)"}));
    EXPECT_TRUE(ParseFileFilter(L"").empty());
    // Extensions are replaced character by character.
    const std::tuple<const wchar_t*, const wchar_t*, const wchar_t*> names[] = {
        {L"a.tf", L"img", L"a.img"},                                  // a shorter old extension grows
        {L"b.x.img", L"cif", L"b.x.cif"},                             // only the last dot counts
        {L"a.tiff", L"cif", L"a.ciff"},                               // surplus characters stay
        {L"a.", L"cif", L"a.cif"},                                    // an empty one is filled
        {L"a.tif", L"", L"a.tif"},                                    // nothing to put
        {L"/data/run.2/samples", L"cif", L"/data/run.2/samples.cif"}, // no dot in the file name: appended
    };
    for (auto [in, extension, out] : names) {
        std::wstring name = in;
        CUICommonFun::CONVERT_EXTNAME(name, extension);
        EXPECT_EQ(name, out);
    }
    // The assistant file: the image's extension replaced; a dotted folder
    // with an undotted file pairs with the file beside the folder.
    EXPECT_EQ(PairedAssistantFilePath(L"/d/img.x.tif"), L"/d/img.x.acf");
    EXPECT_EQ(PairedAssistantFilePath(L"/d/img"), L"/d/img.acf");
    EXPECT_EQ(PairedAssistantFilePath(L"/d/a.b/img"), L"/d/a.acf");
    const fs::path root = Scratch("acf_test");
    fs::create_directories(root / "分类.b");
    WriteBytes(root / "分类.b" / "img.acf", "x");
    const std::wstring folder = WPath(root);
    EXPECT_TRUE(AssistantFileExists(folder + L"/分类.b/img.tif"));
    EXPECT_FALSE(AssistantFileExists(folder + L"/分类.b/other.tif"));
    EXPECT_FALSE(AssistantFileExists(folder + L"/分类.b/img")); // looks for 分类.acf beside the folder
    WriteBytes(root / "分类.acf", "x");
    EXPECT_TRUE(AssistantFileExists(folder + L"/分类.b/img"));
    fs::create_directories(root / "folder.acf"); // a folder is not an assistant file
    EXPECT_FALSE(AssistantFileExists(folder + L"/folder.tif"));
}

TEST(NumericGuard, AcceptsItsCharacterSetAndRestoresTheLastAcceptedValue) {
    // The windows' guarded edits take the rest: the restored text, the comma that passes, the digits-only
    // count.
    EXPECT_TRUE(NumericGuardAccepts(L"-0.25", GuardSets::Decimal));
    EXPECT_TRUE(NumericGuardAccepts(L"1,5", GuardSets::Decimal)); // the list's comma is a character too
    EXPECT_FALSE(NumericGuardAccepts(L"0.2e", GuardSets::Decimal) ||
                 NumericGuardAccepts(L"12.", GuardSets::Digits));
    EXPECT_EQ(NumericGuardRestore(L"0.2x", GuardSets::Decimal, L"%.3f", 0.1), L"0.100");
    EXPECT_EQ(NumericGuardRestore(L"3a", GuardSets::Digits, L"%d", 15.0), L"15");
    EXPECT_FALSE(NumericGuardRestore(L"3,", GuardSets::Digits, L"%d", 15.0).has_value());
}

TEST(Help, EveryTopicOpensItsOwnPage) {
    ScriptedUiServices ui;
    ScopedUiServices scope(ui);
    std::set<std::wstring> pages;
    for (int topic : HelpTopic::All) {
        const std::wstring page = CommonOperator::HelpPagePath(HelpTopic::Module, topic);
        ASSERT_FALSE(page.empty()) << "no help page for topic " << topic;
        EXPECT_GT(fs::file_size(fs::path(CommonFun::U2M(page))), 200u) << "topic " << topic;
        pages.insert(page);
        HelpTopic::Show(topic);
    }
    EXPECT_EQ(pages.size(), std::size(HelpTopic::All));
    ASSERT_EQ(ui.helpTopics.size(), std::size(HelpTopic::All));
    EXPECT_EQ(ui.helpTopics[0], std::make_pair(4, HelpTopic::Vectorize));
    // No page: nothing is opened.
    EXPECT_FALSE(CommonOperator::ShowHelpChm(HelpTopic::Module, 99));
    EXPECT_EQ(HelpTopic::ForSupervisedKind(3), 0);
    HelpTopic::Show(HelpTopic::ForSupervisedKind(3));
    EXPECT_EQ(ui.helpTopics.size(), std::size(HelpTopic::All));
}

namespace {

// Counts live instances so tests see windows being released.
class CountedDialog : public SampleDialog {
public:
    explicit CountedDialog(IControlerInterface* host) : m_host(host) { ++s_live; }
    ~CountedDialog() override { --s_live; }
    IControlerInterface* m_host;
    static int s_live;
};
int CountedDialog::s_live = 0;

std::vector<CountedDialog*> openWindows() {
    std::vector<CountedDialog*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = dynamic_cast<CountedDialog*>(w); d && d->isVisible())
            found.push_back(d);
    return found;
}

void flushDeletes() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

TEST(ModuleContext, RestoredOnEveryWayOut) {
    ModuleState& host = CurrentModuleState();
    EXPECT_EQ(&host, &HostModuleState());
    try {
        TesseraModuleGuard outer;
        EXPECT_EQ(&CurrentModuleState(), &TesseraModuleState());
        {
            ModuleState other("other");
            ModuleContextGuard inner(other);
            EXPECT_EQ(&CurrentModuleState(), &other);
        }
        EXPECT_EQ(&CurrentModuleState(), &TesseraModuleState());
        throw std::runtime_error("window failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(&CurrentModuleState(), &host);
    EXPECT_TRUE(TesseraApp().IsInitialized());
}

TEST(EntryPoints, EachCallOpensItsOwnModelessWindowAndPreTranslationHandlesOnlyTheLibrarysWindows) {
    SampleDialog::RegisterTemplates();
    ScriptedHost host;
    EXPECT_EQ(ShowModelessWindow<CountedDialog>(&host), 0ul);
    EXPECT_EQ(ShowModelessWindow<CountedDialog>(nullptr), 0ul);
    EXPECT_EQ(&CurrentModuleState(), &HostModuleState()); // the caller's context is back
    std::vector<CountedDialog*> windows = openWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_NE(windows[0], windows[1]);
    for (CountedDialog* w : windows)
        EXPECT_EQ(std::tuple(w->isModal(), w->parentWidget(), w->GetWindowText()),
                  std::tuple(false, nullptr, std::wstring(L"样例窗口")));
    EXPECT_TRUE((windows[0]->m_host == &host) != (windows[1]->m_host == &host));
    // Dismissing one with the close box leaves the other; each releases itself.
    const int live = CountedDialog::s_live;
    QPointer<CountedDialog> first = windows[0];
    first->close();
    flushDeletes();
    EXPECT_TRUE(first.isNull() && CountedDialog::s_live == live - 1);
    ASSERT_EQ(openWindows().size(), 1u);
    // Messages to the host's windows, and ordinary typing into the library's
    // window, are left to the host's dispatch; Esc aimed at a child of the
    // library's window is consumed and cancels the window.
    QPointer<CountedDialog> window = openWindows()[0];
    auto* edit = window->Item<QLineEdit>(kEditPath);
    ASSERT_NE(edit, nullptr);
    QWidget foreign;
    QLineEdit foreignEdit(&foreign);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier),
        letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    TesseraMessage toForeign{&foreignEdit, &escape}, typing{edit, &letter}, cancel{edit, &escape};
    EXPECT_EQ(CTesseraUILib::DllPreTranslateMessage(&toForeign), 0);
    EXPECT_EQ(CTesseraUILib::DllPreTranslateMessage(nullptr), 0);
    EXPECT_EQ(CTesseraUILib::DllPreTranslateMessage(&typing), 0);
    EXPECT_EQ(CTesseraUILib::DllPreTranslateMessage(&cancel), 1);
    EXPECT_EQ(&CurrentModuleState(), &HostModuleState());
    flushDeletes();
    EXPECT_EQ(std::tuple(window.isNull(), CountedDialog::s_live, openWindows().size()),
              std::tuple(true, live - 2, 0u));
}
