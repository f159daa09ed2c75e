// The toolkit layer: dialogs from templates, the UI seam, menus, number
// exchange, and the grid control.
#include "common/filters.h"
#include "common/messages.h"
#include "entry/tesseramodule.h"
#include "platform/filedialog.h"
#include "platform/gridctrl.h"
#include "platform/xcombobox.h"
#include "platform/xdialog.h"
#include "platform/xlistbox.h"
#include "support/scriptedhost.h"
#include "support/scripteduiservices.h"

#include <QAction>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

constexpr int kEditPath = 1001, kBrowse = 1002, kCount = 1003, kRatio = 1004, kSorted = 1005;
constexpr int kMenuOpen = 2001, kMenuSave = 2002, kMenuToggle = 2003;

void registerTestTemplates() {
    DialogTemplate d;
    d.id = 9001;
    d.title = L"样例窗口";
    d.width = 320;
    d.height = 160;
    d.menuId = 9002;
    d.controls = {
        {ControlKind::Label, -1, L"输入影像:", 10, 10, 80, 20},
        {ControlKind::Edit, kEditPath, L"", 90, 10, 160, 22},
        {ControlKind::Button, kBrowse, L"...", 260, 10, 40, 22},
        {ControlKind::Edit, kCount, L"", 90, 40, 60, 22},
        {ControlKind::Edit, kRatio, L"", 160, 40, 60, 22},
        {ControlKind::SortedComboBox, kSorted, L"", 90, 70, 120, 22},
        {ControlKind::DefaultButton, IDOK, L"确定", 140, 120, 70, 26},
        {ControlKind::Button, IDCANCEL, L"取消", 230, 120, 70, 26},
    };
    TesseraModuleState().AddDialogTemplate(d);
    MenuTemplate m;
    m.id = 9002;
    m.items = {{L"文件(&F)", 0, {{L"打开(&O)\tCtrl+O", kMenuOpen}, MenuItemTemplate::Separator(), {L"保存(&S)", kMenuSave}}},
               {L"编辑(&E)", 0, {{L"选项", kMenuToggle}}}};
    TesseraModuleState().AddMenuTemplate(m);
}

// A small window in the shape of the library's windows: wiring plus one
// method per command.
class BrowseDialog : public XDialog {
public:
    enum { IDD = 9001 };
    explicit BrowseDialog(IControlerInterface* host) : XDialog(IDD), m_host(host) {
        BindText(kEditPath, m_path);
        BindInt(kCount, m_count, std::make_pair(1, 255));
        BindDouble(kRatio, m_ratio);
    }

    std::wstring m_path;
    int m_count = 5;
    double m_ratio = 0.5;
    bool m_option = false;
    int m_answer = 0;
    int m_okRuns = 0;

protected:
    bool OnInitDialog() override {
        OnCommand(kBrowse, [this] { OnBnClickedInputBrowse(); });
        OnCommand(kMenuToggle, [this] { m_option = !m_option; });
        UpdateData(false);
        return true;
    }
    void OnUpdateCommand(int id, CCmdUI& ui) override {
        if (id == kMenuSave)
            ui.Enable(!m_path.empty());
        if (id == kMenuToggle)
            ui.SetCheck(m_option);
    }
    void OnBnClickedInputBrowse() {
        CERFileDialog dialog(true, L".tif", nullptr, kFileDialogFlags, Filters::RasterInput, nullptr, 0, true, m_host);
        if (dialog.DoModal() != IDOK)
            return;
        SetDlgItemText(kEditPath, dialog.GetPathName());
    }
    void OnOK() override {
        ++m_okRuns;
        if (!UpdateData(true))
            return;
        if (m_path.empty()) {
            XMessageBox(L"请选择输入文件！", Caption::Notice);
            return;
        }
        m_answer = XMessageBox(L"是否继续？", L"", MB_YESNOCANCEL | MB_ICONINFORMATION);
        if (m_answer == IDYES)
            EndDialog(IDOK);
    }

private:
    IControlerInterface* m_host;
};

class PlatformTest : public ::testing::Test {
protected:
    void SetUp() override { registerTestTemplates(); }
    ScriptedUiServices ui;
    ScopedUiServices scope{ui};
};

} // namespace

TEST_F(PlatformTest, TemplatesComeFromTheCurrentModule) {
    BrowseDialog outside(nullptr);
    EXPECT_FALSE(outside.Create()); // the host's module has no template 9001
    BrowseDialog inside(nullptr);
    {
        TesseraModuleGuard context;
        ASSERT_TRUE(inside.Create());
    }
    EXPECT_EQ(inside.OwnerModule(), &TesseraModuleState());
    EXPECT_EQ(inside.GetWindowText(), L"样例窗口");
    EXPECT_EQ(inside.GetDlgItemText(kCount), L"5"); // members written by UpdateData(false)
    EXPECT_EQ(inside.GetDlgItemText(kRatio), L"0.5");
    EXPECT_NE(inside.Item<QPushButton>(IDOK), nullptr);
    EXPECT_EQ(inside.GetDlgItem(4242), nullptr);
}

TEST_F(PlatformTest, ScriptedFileChoiceAndMessageBoxDriveTheWindow) {
    ScriptedHost host;
    BrowseDialog dialog(&host);
    {
        TesseraModuleGuard context;
        ASSERT_TRUE(dialog.Create());
    }
    // OK without an input: the notice, and the window stays.
    dialog.Item<QPushButton>(IDOK)->click();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"请选择输入文件！");
    EXPECT_EQ(ui.messages[0].caption, L"提示");
    EXPECT_EQ(ui.messages[0].type, MB_OK);

    // Browse: a cancelled choice changes nothing; a chosen file lands in the field.
    ui.CancelFileAnswer();
    dialog.Item<QPushButton>(kBrowse)->click();
    EXPECT_EQ(dialog.GetDlgItemText(kEditPath), L"");
    ui.ChooseFileAnswer(L"/data/景观.tif");
    dialog.Item<QPushButton>(kBrowse)->click();
    EXPECT_EQ(dialog.GetDlgItemText(kEditPath), L"/data/景观.tif");
    ASSERT_EQ(ui.fileRequests.size(), 2u);
    const FileDialogRequest& request = ui.fileRequests[1];
    EXPECT_TRUE(request.open);
    EXPECT_TRUE(request.hostAware);
    EXPECT_EQ(request.defaultExtension, L".tif");
    EXPECT_EQ(request.flags, 6u);
    EXPECT_EQ(request.filter, Filters::RasterInput);

    // The question: No keeps the window, Yes ends it.
    ui.messageAnswers = {IDNO, IDYES};
    dialog.Item<QPushButton>(IDOK)->click();
    ASSERT_EQ(ui.messages.size(), 2u);
    EXPECT_EQ(ui.messages[1].text, L"是否继续？");
    EXPECT_EQ(ui.messages[1].caption, L""); // the toolkit's default caption
    EXPECT_EQ(ui.messages[1].type, MB_YESNOCANCEL | MB_ICONINFORMATION);
    EXPECT_EQ(dialog.m_answer, IDNO);
    dialog.Item<QPushButton>(IDOK)->click();
    EXPECT_EQ(dialog.m_answer, IDYES);
    EXPECT_EQ(dialog.m_path, L"/data/景观.tif");
    EXPECT_EQ(dialog.result(), IDOK);
    EXPECT_TRUE(host.calls.empty()); // the chooser only carries the host along
}

TEST_F(PlatformTest, UpdateDataRefusesBadNumbersAndKeepsEarlierFields) {
    BrowseDialog dialog(nullptr);
    {
        TesseraModuleGuard context;
        ASSERT_TRUE(dialog.Create());
    }
    dialog.SetDlgItemText(kEditPath, L"/x.tif");
    dialog.SetDlgItemText(kCount, L"300");
    EXPECT_FALSE(dialog.UpdateData(true));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, L"请输入一个介于 1 和 255 之间的整数。");
    EXPECT_EQ(dialog.m_path, L"/x.tif"); // read before the refused field
    EXPECT_EQ(dialog.m_count, 5);

    dialog.SetDlgItemText(kCount, L"12a");
    EXPECT_FALSE(dialog.UpdateData(true));
    EXPECT_EQ(ui.messages.back().text, L"请输入一个整数。");
    dialog.SetDlgItemText(kCount, L" 12 ");
    dialog.SetDlgItemText(kRatio, L"1e-3x");
    EXPECT_FALSE(dialog.UpdateData(true));
    EXPECT_EQ(ui.messages.back().text, L"请输入一个数字。");
    EXPECT_EQ(dialog.m_count, 12);
    dialog.SetDlgItemText(kRatio, L"1e-3");
    EXPECT_TRUE(dialog.UpdateData(true));
    EXPECT_DOUBLE_EQ(dialog.m_ratio, 0.001);
}

TEST_F(PlatformTest, MenuStatesAreAskedWhenTheMenuOpens) {
    BrowseDialog dialog(nullptr);
    {
        TesseraModuleGuard context;
        ASSERT_TRUE(dialog.Create());
    }
    ASSERT_NE(dialog.GetMenu(), nullptr);
    QAction* save = dialog.MenuAction(kMenuSave);
    QAction* toggle = dialog.MenuAction(kMenuToggle);
    ASSERT_TRUE(save && toggle);
    EXPECT_EQ(dialog.MenuAction(kMenuOpen)->text(), "打开(&O)\tCtrl+O");
    EXPECT_TRUE(dialog.MenuAction(kMenuOpen)->shortcut().isEmpty()); // shortcut text only, not bound

    dialog.UpdateMenuStates();
    EXPECT_FALSE(save->isEnabled());
    EXPECT_FALSE(toggle->isChecked());
    toggle->trigger();
    EXPECT_TRUE(dialog.m_option);
    dialog.SetDlgItemText(kEditPath, L"/x.tif");
    dialog.UpdateData(true);
    EXPECT_FALSE(save->isEnabled()); // unchanged until the menu opens again
    dialog.UpdateMenuStates();
    EXPECT_TRUE(save->isEnabled());
    EXPECT_TRUE(toggle->isChecked());
}

TEST_F(PlatformTest, ModalDialogsRunThroughTheService) {
    BrowseDialog dialog(nullptr);
    ui.modalScripts.push_back([](XDialog& d) {
        d.SetDlgItemText(kCount, L"9");
        d.SetDlgItemText(kEditPath, L"/a.tif");
        return d.result();
    });
    ui.messageAnswers = {IDYES};
    int result;
    {
        TesseraModuleGuard context;
        result = dialog.DoModal();
    }
    EXPECT_EQ(ui.modalRuns, 1);
    EXPECT_EQ(result, 0); // the script did not press OK
    ui.modalScripts.push_back([](XDialog& d) {
        d.SendCommand(IDOK);
        return d.result();
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_count, 9);
}

TEST(Controls, SortedListsAndSelections) {
    XComboBox combo(true);
    combo.AddString(L"K-Means");
    combo.AddString(L"isodata");
    EXPECT_EQ(combo.AddString(L"Bravo"), 0);
    EXPECT_EQ(combo.GetLBText(1), L"isodata");
    EXPECT_EQ(combo.GetCurSel(), -1); // nothing chosen until the window chooses
    EXPECT_EQ(combo.SetCurSel(2), 2);
    EXPECT_EQ(combo.GetLBText(combo.GetCurSel()), L"K-Means");
    EXPECT_EQ(combo.SetCurSel(5), -1);
    EXPECT_EQ(combo.GetCurSel(), -1);
    EXPECT_EQ(combo.FindStringExact(L"k-means"), 2);

    XListBox list(true);
    for (const wchar_t* t : {L"1", L"2", L"3", L"4"})
        list.AddString(t);
    list.SetSel(1);
    list.SetSel(3);
    EXPECT_EQ(list.GetSelItems(), (std::vector<int>{1, 3}));
    list.SetItemData(3, 1LL << 40);
    EXPECT_EQ(list.DeleteString(1), 3);
    EXPECT_EQ(list.GetSelItems(), (std::vector<int>{2}));
    EXPECT_EQ(list.GetItemData(2), 1LL << 40);
    EXPECT_EQ(list.DeleteString(7), -1);
}

TEST(GridCtrl, FixedHeaderCellsStateAndColour) {
    CGridCtrl grid;
    grid.SetRowCount(1);
    grid.SetColumnCount(7);
    grid.SetFixedRowCount(1);
    grid.SetFixedColumnCount(1);
    grid.SetDefCellHeight(25);
    for (int c = 0; c < 7; ++c)
        grid.SetColumnWidth(c, 85);
    grid.SetTextBkColor(RGB(255, 255, 224));
    grid.SetListMode(true);
    grid.SetGridLines(GVL_BOTH);
    grid.SetItemText(0, 0, L"序号");
    grid.SetItemText(0, 1, L"类名");
    grid.SetItemFormat(0, 1, DT_CENTER);
    EXPECT_EQ(grid.GetRowCount(), 1);
    EXPECT_EQ(grid.GetItemText(0, 0), L"序号");
    EXPECT_EQ(grid.GetItemText(0, 1), L"类名");
    EXPECT_EQ(grid.GetColumnWidth(3), 85);
    EXPECT_EQ(grid.GetColumnWidth(0), 85);

    grid.SetRowCount(4);
    EXPECT_EQ(grid.GetRowCount(), 4);
    EXPECT_EQ(grid.GetRowHeight(2), 25);
    for (int r = 1; r < 4; ++r) {
        grid.SetItemText(r, 0, std::to_wstring(r));
        grid.SetItemText(r, 1, L"C" + std::to_wstring(r));
        grid.SetItemState(r, 2, GVIS_READONLY);
    }
    EXPECT_EQ(grid.GetItemText(3, 1), L"C3");
    EXPECT_EQ(grid.GetItemText(2, 0), L"2");
    EXPECT_EQ(grid.GetItemBkColour(2, 3), 0xE0FFFFu);
    grid.SetItemBkColour(2, 2, RGB(10, 20, 30));
    EXPECT_EQ(grid.GetItemBkColour(2, 2), 0x1E140Au);
    EXPECT_TRUE(grid.IsCellEditable(1, 1));
    EXPECT_FALSE(grid.IsCellEditable(1, 2));
    EXPECT_FALSE(grid.IsCellEditable(0, 1)); // fixed cells never are
    EXPECT_TRUE(grid.GetItemState(0, 3) & GVIS_FIXED);

    // Selection: a row is selected when its cells are; list mode selects whole rows.
    grid.SelectRow(2);
    EXPECT_TRUE(grid.IsCellSelected(2, 1));
    EXPECT_FALSE(grid.IsCellSelected(1, 1));
    EXPECT_EQ(grid.GetSelectedRows(), (std::vector<int>{2}));
    grid.SetItemState(3, 1, GVIS_SELECTED);
    EXPECT_EQ(grid.GetSelectedRows(), (std::vector<int>{2, 3}));

    // Removing a row moves the later rows up with their texts, colours and states.
    EXPECT_TRUE(grid.DeleteRow(2));
    EXPECT_FALSE(grid.DeleteRow(0));
    EXPECT_EQ(grid.GetRowCount(), 3);
    EXPECT_EQ(grid.GetItemText(2, 1), L"C3");
    EXPECT_EQ(grid.GetSelectedRows(), (std::vector<int>{2}));
    EXPECT_EQ(grid.InsertRow(L"9"), 3);
    EXPECT_EQ(grid.GetItemText(3, 0), L"9");
    EXPECT_EQ(grid.GetItemBkColour(3, 4), 0xE0FFFFu);
    EXPECT_FALSE(grid.SetItemText(7, 1, L"x"));
    EXPECT_EQ(grid.GetItemText(7, 1), L"");

    // Emptying keeps nothing; a re-initialised grid starts from its header.
    grid.DeleteAllItems();
    EXPECT_EQ(grid.GetRowCount(), 0);
    grid.SetRowCount(1);
    grid.SetColumnCount(6);
    grid.SetFixedRowCount(1);
    grid.SetFixedColumnCount(1);
    EXPECT_EQ(grid.GetItemText(0, 1), L"");
}

TEST(GridCtrl, EditingInPlaceReportsTheCell) {
    CGridCtrl grid;
    grid.SetRowCount(3);
    grid.SetColumnCount(3);
    grid.SetFixedRowCount(1);
    grid.SetFixedColumnCount(1);
    std::vector<std::pair<int, int>> edited;
    QObject::connect(&grid, &CGridCtrl::CellEdited, [&](int r, int c) { edited.emplace_back(r, c); });
    grid.SetItemText(1, 1, L"set by code"); // not an edit
    EXPECT_TRUE(edited.empty());
    grid.item(1, 0)->setText("typed"); // body cell (2, 1) as the user's editor commits it
    ASSERT_EQ(edited.size(), 1u);
    EXPECT_EQ(edited[0], std::make_pair(2, 1));
    EXPECT_EQ(grid.GetItemText(2, 1), L"typed");
}
