#pragma once
// The Qt progress window that CProcessUILib::CreateProgressDlg hands out.
//
// A task reports from its own thread. Every report is posted to the window's
// thread as a queued call, so the worker never touches a widget; the cancel
// request and the auto-close option are atomics both threads may read. The
// window frees itself (deleteLater) once the task's Finish has arrived and
// the window is closed, in whichever order the two happen; never earlier,
// because until Finish the task may still call it.

#include "processing/progress.h"

#include <QDialog>
#include <QString>

#include <atomic>

class QCloseEvent;
class QLabel;
class QProgressBar;
class QPushButton;

class ProgressWindow : public QDialog, public CDataProgress {
    Q_OBJECT
public:
    explicit ProgressWindow(QWidget* parent = nullptr);
    ~ProgressWindow() override;

    // CBaseProgress / CDataProgress: safe from any thread.
    void Show(int mode) override;
    void SetTitle(const std::wstring& title) override;
    void SetStep(const std::wstring& step) override;
    void SetPercent(double percent) override;
    bool IsCancelled() const override { return m_cancelRequested.load(); }
    void Finish(bool success, const std::wstring& message) override;
    void SetAutoClose(bool autoClose) override { m_autoClose.store(autoClose); }

    // What the window shows; for the window's thread.
    int Percent() const;
    QString StepText() const;
    QString MessageText() const;
    bool IsFinished() const { return m_finished; }
    QPushButton* CancelButton() const { return m_cancel; }
    QPushButton* CloseButton() const { return m_close; }

    // Text shown from a cancel request until the task ends.
    static QString CancellingText();

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void requestCancel();
    void applyPercent();
    void applyFinish(bool success, const QString& message);
    void releaseWhenDone();

    QLabel* m_step = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_message = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_close = nullptr;

    // Shared with the task's thread.
    std::atomic<bool> m_cancelRequested{false};
    std::atomic<bool> m_autoClose{false};
    // Percent reports are coalesced: the worker stores the latest value and
    // posts one update at a time.
    std::atomic<double> m_pendingPercent{0.0};
    std::atomic<bool> m_percentPosted{false};

    // The window's thread only.
    bool m_finished = false;
    bool m_closed = false;
    bool m_shown = false;
    bool m_releasing = false;
};
