// The progress window: fed by a worker thread through queued calls, cancelled
// from the window, closing and freeing itself once the task has ended.
#include "processing/progress.h"
#include "progressui/processuilib.h"
#include "progressui/progresswindow.h"

#include <QApplication>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace {

// Processes events (deferred deletes included) until the condition holds.
template <class Condition> bool waitFor(Condition condition) {
    return QTest::qWaitFor(condition, 20000);
}

// Whether the window is still there once every posted event, deferred deletes included, is delivered.
bool stays(const QPointer<ProgressWindow>& window) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return !window.isNull();
}

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        progress = CProcessUILib::CreateProgressDlg();
        window = dynamic_cast<ProgressWindow*>(progress);
        ASSERT_FALSE(window.isNull());
        progress->Show(0);
        ASSERT_TRUE(window->isVisible());
    }
    void TearDown() override {
        // A test that failed half-way still ends the task, so the window goes.
        if (!window.isNull() && !window->IsFinished()) {
            progress->Finish(false, L"");
            EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
        }
    }
    // Runs `report` on a worker thread, to its end.
    void onWorker(const std::function<void(CBaseProgress*)>& report) {
        std::thread([this, report] { report(progress); }).join();
    }

    CBaseProgress* progress = nullptr;
    QPointer<ProgressWindow> window;
};

} // namespace

TEST_F(ProgressWindowTest, WorkerReportsArriveThroughTheEventLoopAndSuccessWaitsForTheUser) {
    onWorker([](CBaseProgress* p) {
        p->SetTitle(L"K均值分类算法");
        p->SetStep(L"Reading pixels");
        for (int i = 0; i <= 40; ++i)
            p->SetPercent(i + 0.4); // coalesced: the latest value wins
        p->SetStep(L"Clustering");
    });
    // The engine's English steps in the windows' language.
    ASSERT_TRUE(waitFor([&] { return window->StepText() == QStringLiteral("聚类"); }));
    EXPECT_EQ(window->windowTitle(), QStringLiteral("K均值分类算法"));
    onWorker([](CBaseProgress* p) { p->SetStep(L"Reading samples"); });
    ASSERT_TRUE(waitFor([&] { return window->StepText() == QStringLiteral("读取样本"); }));
    EXPECT_EQ(std::tuple(window->Percent(), progress->IsCancelled(), window->CancelButton()->isVisible()),
              std::tuple(40, false, true));
    // Success without auto-close: full bar, a close button, and the window stays.
    onWorker([](CBaseProgress* p) { p->Finish(true, L""); });
    ASSERT_TRUE(waitFor([&] { return window->IsFinished(); }));
    ASSERT_TRUE(stays(window));
    EXPECT_EQ(std::tuple(window->Percent(), window->isVisible(), window->CloseButton()->isVisible(),
                         window->CancelButton()->isVisible()),
              std::tuple(100, true, true, false));
    // Closed by the user after the end: the object frees itself.
    window->CloseButton()->click();
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
}

TEST_F(ProgressWindowTest, CancelButtonOrCloseBoxIsSeenByTheWorkerAndTheWindowClosesAtTheEnd) {
    for (bool closeBox : {false, true}) {
        if (closeBox)
            SetUp();
        std::promise<void> cancelled, release;
        std::atomic<bool> sawCancel{false};
        std::thread worker([p = progress, &sawCancel, c = cancelled.get_future(), r = release.get_future()] {
            p->SetStep(L"Iteration 3 of 20");
            p->SetPercent(30);
            c.wait();
            sawCancel = p->IsCancelled();
            p->SetStep(L"Iteration 4 of 20"); // after the request: not shown
            r.wait();
            p->Finish(false, L""); // a cancelled task ends without a message
        });
        const bool reported = waitFor([&] { return window->Percent() == 30; });
        if (closeBox)
            window->close();
        else
            window->CancelButton()->click();
        cancelled.set_value();
        EXPECT_TRUE(reported && !window->CancelButton()->isEnabled());
        EXPECT_TRUE(waitFor([&] { return sawCancel.load(); }));
        EXPECT_TRUE(stays(window)); // the task has not ended yet and may still call it
        EXPECT_EQ(std::tuple(window->StepText(), window->isVisible()),
                  std::tuple(ProgressWindow::CancellingText(), true));
        release.set_value();
        worker.join();
        EXPECT_TRUE(waitFor([&] { return window.isNull(); })) << closeBox;
    }
}

TEST_F(ProgressWindowTest, FailureStaysWithItsMessageUntilClosedAndAutoCloseEndsOnSuccess) {
    onWorker([](CBaseProgress* p) {
        p->SetPercent(12);
        p->Finish(false, L"Cannot open the input image /data/missing.tif as a raster.");
    });
    ASSERT_TRUE(waitFor([&] { return window->IsFinished(); }));
    ASSERT_TRUE(stays(window));
    EXPECT_EQ(window->MessageText(),
              QStringLiteral("Cannot open the input image /data/missing.tif as a raster."));
    EXPECT_EQ(std::tuple(window->isVisible(), window->CloseButton()->isVisible(), window->Percent()),
              std::tuple(true, true, 12));
    window->close(); // the close box
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
    // Auto-close ends the window on success without the user.
    SetUp();
    window->SetAutoClose(true);
    onWorker([](CBaseProgress* p) {
        p->SetStep(L"写出分类结果");
        p->Finish(true, L"");
    });
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
}

TEST(ProgressWindowLifetime, FinishedBeforeEverShownFreesItself) {
    CBaseProgress* progress = CProcessUILib::CreateProgressDlg();
    QPointer<ProgressWindow> window = dynamic_cast<ProgressWindow*>(progress);
    ASSERT_FALSE(window.isNull());
    std::thread([progress] { progress->Finish(true, L""); }).join();
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
}
