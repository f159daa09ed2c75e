#pragma once
// Progress of a running task: what the task reports and how it learns that
// the user wants it to stop. The task calls these from its own thread; an
// implementation must be safe for that (the Qt window forwards everything
// through queued signals, the command line writes to stderr).
//
// Lifetime: a task's last call is Finish; after it the task never touches the
// object again. The Qt window then frees itself once it is closed; other
// implementations belong to whoever made them.

#include <string>

class CBaseProgress {
public:
    virtual ~CBaseProgress() = default;
    // Shows the progress. Mode 0: a percentage bar with the current step and
    // a Cancel button (the only mode so far; other values behave as 0).
    // The windows call it right after creating the object.
    virtual void Show(int mode) = 0;
    // Title of the task (its algorithm name).
    virtual void SetTitle(const std::wstring& title) = 0;
    // The step the task is in ("读取样本", "Iteration 3 of 20", ...).
    virtual void SetStep(const std::wstring& step) = 0;
    // Overall completion, 0 to 100.
    virtual void SetPercent(double percent) = 0;
    // True once the user asked to cancel.
    virtual bool IsCancelled() const = 0;
    // The end of the task: success, cancelled (no message), or failure with
    // a message for the user.
    virtual void Finish(bool success, const std::wstring& message) = 0;
};

// The progress window's own options.
class CDataProgress : public CBaseProgress {
public:
    // When true the window closes by itself at a successful end; otherwise it
    // stays, showing 100 %, until the user closes it. Failures always stay.
    virtual void SetAutoClose(bool autoClose) = 0;
};
