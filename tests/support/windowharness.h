#pragma once
// Around a window under test: the tasks it starts are caught by the launch
// hook instead of running (with whether their progress window was already
// shown), the window an entry point opens is found among the new top-level
// windows, and at the end the window is cancelled and every caught progress
// window must have closed.

#include "platform/gridctrl.h"
#include "platform/xdialog.h"
#include "platform/xlistbox.h"
#include "processing/basealgorithm.h"
#include "processing/progress.h"
#include "support/scriptedhost.h"
#include "support/scripteduiservices.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QWidget>

#include <deque>
#include <memory>
#include <type_traits>

struct CaughtLaunch {
    std::unique_ptr<CBaseAlgorithm> algorithm;
    QPointer<QObject> progress; // the attached progress window, if any
    bool progressShown = false; // it was shown when the task was started
};

// The window of type Dlg that open() brings up, or null.
template <class Dlg, class Open> QPointer<Dlg> OpenNewWindow(Open open) {
    const QWidgetList before = QApplication::topLevelWidgets();
    open();
    QPointer<Dlg> window;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* d = dynamic_cast<Dlg*>(w); d && !before.contains(w))
            window = d;
    return window;
}

// The texts of a grid row: every column, or those given.
inline std::vector<std::wstring> RowTexts(const CGridCtrl& grid, int row, std::vector<int> columns = {}) {
    if (columns.empty())
        for (int c = 0; c < grid.GetColumnCount(); ++c)
            columns.push_back(c);
    std::vector<std::wstring> texts;
    for (int c : columns)
        texts.push_back(grid.GetItemText(row, c));
    return texts;
}

// A window of type Dlg under test: the scripted UI service and host, the tasks
// it starts caught (a deque: references stay valid as tasks are added); at the
// end it is cancelled and every caught progress window must close. An entry
// point given opens the window at set-up, with the scripted host if it takes one.
template <class Dlg, auto Entry = nullptr> class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        CBaseAlgorithm::SetLaunchHook([this](CBaseAlgorithm* algorithm) {
            CaughtLaunch& launch = launches.emplace_back();
            launch.algorithm.reset(algorithm);
            if (CBaseProgress* progress = algorithm->GetProgress()) {
                auto* widget = dynamic_cast<QWidget*>(progress);
                launch.progress = widget;
                launch.progressShown = widget && widget->isVisible();
                progress->Finish(false, L""); // ends the progress window as a cancelled task would
            }
            return false; // kept here: nothing runs
        });
    }
    ~WindowTest() override { CBaseAlgorithm::SetLaunchHook(nullptr); }
    void TearDown() override {
        if (!window.isNull())
            window->SendCommand(IDCANCEL);
        EXPECT_TRUE(closed());
        for (CaughtLaunch& l : launches) // they end with their tasks
            EXPECT_TRUE(QTest::qWaitFor([&] { return l.progress.isNull(); }, 5000));
    }
    void SetUp() override {
        // By type, not by value: a function's address is no constant in every build.
        if constexpr (!std::is_same_v<decltype(Entry), std::nullptr_t>)
            reopen();
    }
    void reopen() {
        if constexpr (std::is_invocable_v<decltype(Entry), IControlerInterface*>)
            open([this] { Entry(&host); });
        else
            open([] { Entry(); });
    }
    template <class Open> void open(Open openWindow) {
        window = OpenNewWindow<Dlg>(openWindow);
        ASSERT_FALSE(window.isNull());
    }
    bool closed() {
        return QTest::qWaitFor([this] { return window.isNull(); }, 5000);
    }
    template <class T> T* item(int id) const { return window->template Item<T>(id); }
    std::wstring text(int id) const { return window->GetDlgItemText(id); }
    void click(int id) const {
        auto* button = item<QAbstractButton>(id);
        ASSERT_NE(button, nullptr) << id;
        button->click();
    }
    // A file chooser answered with `path` and the file type `type`.
    void choose(int button, const std::wstring& path, int type = 1) {
        ui.ChooseFileAnswer(path, type);
        click(button);
    }
    std::vector<std::wstring> texts(int listId) const {
        std::vector<std::wstring> t;
        for (int i = 0; i < item<XListBox>(listId)->GetCount(); ++i)
            t.push_back(item<XListBox>(listId)->GetText(i));
        return t;
    }
    void select(int listId, std::initializer_list<int> rows) const {
        auto* list = item<XListBox>(listId);
        list->SetSel(-1, false);
        for (int r : rows)
            list->SetSel(r, true);
    }
    // Presses OK, which must start one task of this record and close the
    // window; the record (a default one, and a failure, when it did not).
    template <class Record> const Record& startOne() {
        static const Record none{};
        const size_t before = launches.size();
        click(IDOK);
        EXPECT_EQ(launches.size(), before + 1);
        EXPECT_TRUE(closed());
        const Record* record = launches.size() == before + 1
                                   ? dynamic_cast<const Record*>(&launches.back().algorithm->GetParam())
                                   : nullptr;
        EXPECT_NE(record, nullptr);
        return record ? *record : none;
    }

    ScriptedUiServices ui;
    ScopedUiServices scope{ui};
    ScriptedHost host;
    QPointer<Dlg> window;
    std::deque<CaughtLaunch> launches;
};
