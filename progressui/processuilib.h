#pragma once
// The progress UI library: progress windows for running tasks.

class CBaseProgress;

class CProcessUILib {
public:
    // A new progress window (a CDataProgress), or null when no window can be
    // shown (no QApplication). It frees itself after its task has finished
    // and it has been closed; callers never delete it.
    static CBaseProgress* CreateProgressDlg();
};
