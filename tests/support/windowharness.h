#pragma once
// Around a window under test: the tasks it starts are caught by the launch
// hook instead of running (with whether their progress window was already
// shown), the window an entry point opens is found among the new top-level
// windows, and at the end the window is cancelled and every caught progress
// window must have closed.

#include "processing/basealgorithm.h"
#include "platform/xdialog.h"
#include "processing/progress.h"

#include <QApplication>
#include <QPointer>
#include <QTest>
#include <QWidget>

#include <deque>
#include <memory>

struct CaughtLaunch {
    std::unique_ptr<CBaseAlgorithm> algorithm;
    QPointer<QObject> progress; // the attached progress window, if any
    bool progressShown = false; // it was shown when the task was started

    template <class Record> const Record* record() const {
        return dynamic_cast<const Record*>(&algorithm->GetParam());
    }
};

// Catches every task started while it lives.
class LaunchCatcher {
public:
    LaunchCatcher() {
        CBaseAlgorithm::SetLaunchHook([this](CBaseAlgorithm* algorithm) {
            CaughtLaunch launch;
            launch.algorithm.reset(algorithm);
            if (CBaseProgress* progress = algorithm->GetProgress()) {
                auto* widget = dynamic_cast<QWidget*>(progress);
                launch.progress = widget;
                launch.progressShown = widget && widget->isVisible();
                progress->Finish(false, L""); // ends the progress window as a cancelled task would
            }
            launches.push_back(std::move(launch));
            return false; // kept here: nothing runs
        });
    }
    ~LaunchCatcher() { CBaseAlgorithm::SetLaunchHook(nullptr); }
    LaunchCatcher(const LaunchCatcher&) = delete;
    LaunchCatcher& operator=(const LaunchCatcher&) = delete;

    // Whether every caught progress window has closed (they end with their tasks).
    bool ProgressWindowsClosed() {
        for (CaughtLaunch& l : launches)
            if (!QTest::qWaitFor([&] { return l.progress.isNull(); }, 5000))
                return false;
        return true;
    }

    std::deque<CaughtLaunch> launches; // a deque: references stay valid as tasks are added
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

// Cancels the window when it is still open; whether it has closed.
template <class Dlg> bool CancelWindow(QPointer<Dlg>& window) {
    if (!window.isNull())
        window->SendCommand(IDCANCEL);
    return QTest::qWaitFor([&] { return window.isNull(); }, 5000);
}
