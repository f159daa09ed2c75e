// Entry points: the module context, modeless windows, message pre-translation.
#include "entry/tesserauiapp.h"
#include "entry/tesserauilib.h"
#include "platform/xdialog.h"
#include "support/scriptedhost.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QWidget>
#include <gtest/gtest.h>

#include <stdexcept>

namespace {

constexpr int kTemplate = 9101;
constexpr int kEdit = 1001;

void registerTemplate() {
    DialogTemplate d;
    d.id = kTemplate;
    d.title = L"入口测试";
    d.width = 200;
    d.height = 80;
    d.controls = {{ControlKind::Edit, kEdit, L"", 10, 10, 120, 22},
                  {ControlKind::DefaultButton, IDOK, L"确定", 10, 45, 60, 24},
                  {ControlKind::Button, IDCANCEL, L"取消", 80, 45, 60, 24}};
    TesseraModuleState().AddDialogTemplate(d);
}

// Counts live instances so tests see windows being released.
class CountedDialog : public XDialog {
public:
    enum { IDD = kTemplate };
    explicit CountedDialog(IControlerInterface* host) : XDialog(IDD), m_host(host) { ++s_live; }
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

void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

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

TEST(EntryPoints, EachCallOpensItsOwnModelessWindow) {
    registerTemplate();
    ScriptedHost host;
    EXPECT_EQ(ShowModelessWindow<CountedDialog>(&host), 0ul);
    EXPECT_EQ(ShowModelessWindow<CountedDialog>(nullptr), 0ul);
    EXPECT_EQ(&CurrentModuleState(), &HostModuleState()); // the caller's context is back

    std::vector<CountedDialog*> windows = openWindows();
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_NE(windows[0], windows[1]);
    for (CountedDialog* w : windows) {
        EXPECT_FALSE(w->isModal());
        EXPECT_EQ(w->parentWidget(), nullptr);
        EXPECT_EQ(w->GetWindowText(), L"入口测试");
    }
    EXPECT_TRUE((windows[0]->m_host == &host) != (windows[1]->m_host == &host));

    // Dismissing one leaves the other; each releases itself.
    const int live = CountedDialog::s_live;
    QPointer<CountedDialog> first = windows[0];
    first->close(); // the close box
    flushDeletes();
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(CountedDialog::s_live, live - 1);
    ASSERT_EQ(openWindows().size(), 1u);
    openWindows()[0]->SendCommand(IDCANCEL);
    flushDeletes();
    EXPECT_EQ(CountedDialog::s_live, live - 2);
    EXPECT_TRUE(openWindows().empty());

    CTesseraUILib a, b;
    EXPECT_EQ(&(a = b), &a);
}

TEST(EntryPoints, PreTranslationHandlesOnlyTheLibrarysWindows) {
    registerTemplate();
    ShowModelessWindow<CountedDialog>(nullptr);
    ASSERT_EQ(openWindows().size(), 1u);
    QPointer<CountedDialog> window = openWindows()[0];
    auto* edit = window->Item<QLineEdit>(kEdit);
    ASSERT_NE(edit, nullptr);

    // A window of the host: never the library's business.
    QWidget foreign;
    QLineEdit foreignEdit(&foreign);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    TesseraMessage toForeign{&foreignEdit, &escape};
    EXPECT_EQ(CTesseraUILib::DllPreTranslateMessage(&toForeign), 0);
    EXPECT_EQ(CTesseraUILib::DllPreTranslateMessage(nullptr), 0);

    // Ordinary typing into the library's window is left to the host's dispatch.
    QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    TesseraMessage typing{edit, &letter};
    EXPECT_EQ(CTesseraUILib::DllPreTranslateMessage(&typing), 0);
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(1, 1), QPointF(1, 1), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    TesseraMessage clicking{edit, &click};
    EXPECT_EQ(CTesseraUILib::DllPreTranslateMessage(&clicking), 0);

    // Esc aimed at a child of the library's window: consumed, and it cancels the window.
    TesseraMessage cancel{edit, &escape};
    EXPECT_EQ(CTesseraUILib::DllPreTranslateMessage(&cancel), 1);
    EXPECT_EQ(&CurrentModuleState(), &HostModuleState());
    flushDeletes();
    EXPECT_TRUE(window.isNull());
}
