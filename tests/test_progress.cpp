// The progress window: fed by a worker thread through queued calls, cancelled
// from the window, closing and freeing itself once the task has ended.
#include "processing/progress.h"
#include "progressui/processuilib.h"
#include "progressui/progresswindow.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

namespace {

constexpr int kTimeoutMs = 20000;

// Processes events (deferred deletes included) until the condition holds.
template <class Condition> bool waitFor(Condition condition) {
    return QTest::qWaitFor(condition, kTimeoutMs);
}

// Spins on the worker side until the flag is seen, with a generous bound so a
// broken window fails the test instead of hanging it.
bool workerSees(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kTimeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::yield();
    }
    return true;
}

class ProgressWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        CBaseProgress* created = CProcessUILib::CreateProgressDlg();
        ASSERT_NE(created, nullptr);
        progress = created;
        window = dynamic_cast<ProgressWindow*>(created);
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

    CBaseProgress* progress = nullptr;
    QPointer<ProgressWindow> window;
};

} // namespace

TEST(ProgressUiLib, NoWindowOutsideTheApplicationThread) {
    CBaseProgress* fromWorker = reinterpret_cast<CBaseProgress*>(1);
    std::thread([&] { fromWorker = CProcessUILib::CreateProgressDlg(); }).join();
    EXPECT_EQ(fromWorker, nullptr);
}

TEST_F(ProgressWindowTest, WorkerReportsArriveThroughTheEventLoop) {
    std::thread worker([p = progress] {
        p->SetTitle(L"K均值分类算法");
        p->SetStep(L"Iteration 1 of 5");
        for (int i = 0; i <= 40; ++i)
            p->SetPercent(i + 0.4); // coalesced: the latest value wins
        p->SetStep(L"Iteration 2 of 5");
    });
    worker.join();
    ASSERT_TRUE(waitFor([&] { return window->StepText() == QStringLiteral("Iteration 2 of 5"); }));
    EXPECT_EQ(window->Percent(), 40);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("K均值分类算法"));
    EXPECT_FALSE(progress->IsCancelled());
    EXPECT_TRUE(window->CancelButton()->isVisible());
    // Success without auto-close: full bar, a close button, and the window stays.
    std::thread([p = progress] { p->Finish(true, L""); }).join();
    ASSERT_TRUE(waitFor([&] { return window->IsFinished(); }));
    EXPECT_EQ(window->Percent(), 100);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->CloseButton()->isVisible());
    EXPECT_FALSE(window->CancelButton()->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(window.isNull());
    // Closed by the user after the end: the object frees itself.
    window->CloseButton()->click();
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
}

TEST_F(ProgressWindowTest, CancelIsSeenByTheWorkerAndClosesAtTheEnd) {
    std::promise<void> release;
    std::atomic<bool> sawCancel{false};
    std::thread worker([p = progress, &sawCancel, done = release.get_future()] {
        p->SetStep(L"Iteration 3 of 20");
        p->SetPercent(30);
        if (workerSees([p] { return p->IsCancelled(); })) {
            sawCancel = true;
            p->SetStep(L"Iteration 4 of 20"); // after the request: not shown
        }
        done.wait();
        p->Finish(false, L""); // a cancelled task ends without a message
    });
    ASSERT_TRUE(waitFor([&] { return window->Percent() == 30; }));

    window->CancelButton()->click();
    EXPECT_EQ(window->StepText(), ProgressWindow::CancellingText());
    EXPECT_FALSE(window->CancelButton()->isEnabled());
    EXPECT_TRUE(progress->IsCancelled());
    EXPECT_TRUE(waitFor([&] { return sawCancel.load(); }));
    QCoreApplication::sendPostedEvents(); // the step posted before the flag was set
    EXPECT_EQ(window->StepText(), ProgressWindow::CancellingText());
    EXPECT_TRUE(window->isVisible()); // the task has not ended yet

    release.set_value();
    worker.join();
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
}

TEST_F(ProgressWindowTest, CloseBoxWhileRunningAsksToCancelAndKeepsTheObject) {
    window->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(window.isNull()); // the task may still call it
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(progress->IsCancelled());
    EXPECT_EQ(window->StepText(), ProgressWindow::CancellingText());

    std::thread([p = progress] { p->Finish(false, L""); }).join();
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
}

TEST_F(ProgressWindowTest, FailureStaysWithItsMessageUntilClosed) {
    const std::wstring error = L"Cannot open the input image /data/missing.tif as a raster.";
    std::thread([p = progress, error] {
        p->SetPercent(12);
        p->Finish(false, error);
    }).join();
    ASSERT_TRUE(waitFor([&] { return window->IsFinished(); }));
    EXPECT_EQ(window->MessageText(), QString::fromStdWString(error));
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->CloseButton()->isVisible());
    EXPECT_EQ(window->Percent(), 12);
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(window.isNull());

    window->close(); // the close box
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
}

TEST_F(ProgressWindowTest, AutoCloseEndsTheWindowOnSuccess) {
    window->SetAutoClose(true);
    std::thread([p = progress] {
        p->SetStep(L"写出分类结果");
        p->SetPercent(99);
        p->Finish(true, L"");
    }).join();
    EXPECT_TRUE(waitFor([&] { return window.isNull(); }));
}

TEST(ProgressWindowLifetime, FinishedBeforeEverShownFreesItself) {
    CBaseProgress* progress = CProcessUILib::CreateProgressDlg();
    ASSERT_NE(progress, nullptr);
    QPointer<ProgressWindow> window = dynamic_cast<ProgressWindow*>(progress);
    std::thread([progress] { progress->Finish(true, L""); }).join();
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.isNull(); }, kTimeoutMs));
}
