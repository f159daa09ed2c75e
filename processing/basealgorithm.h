#pragma once
// Base of every task. A task validates its inputs first (Preproccess, before
// any output byte), then runs (Process). ProcessFromNewThread(true) starts it
// on a thread of its own and returns at once; the task then owns itself: the
// thread deletes the algorithm object when it has finished, so callers keep
// no pointer to it. ProcessFromNewThread(false) runs it on the caller's
// thread and leaves the object to the caller.

#include "engine/aoi.h"
#include "processing/algorithmparam.h"

#include <functional>
#include <memory>
#include <string>

class CBaseProgress;
class CRasterSource;

// Progress of one stage of a task: takes the stage's own fraction (0 to 1)
// and returns false when the task must stop.
using ProgressFn = std::function<bool(double fraction)>;

class CBaseAlgorithm {
public:
    explicit CBaseAlgorithm(const AlgorithmParam& param);
    // Takes a copy the derived class has made already.
    explicit CBaseAlgorithm(std::unique_ptr<AlgorithmParam> param);
    virtual ~CBaseAlgorithm();
    CBaseAlgorithm(const CBaseAlgorithm&) = delete;
    CBaseAlgorithm& operator=(const CBaseAlgorithm&) = delete;

    // The whole task on the calling thread: Preproccess, ConfigRasterAOI,
    // the computation, the output. True on success.
    virtual bool Process() = 0;
    // Opens the record's area of interest against the input, when it names
    // one. False (with the error set) when it cannot be read or misses the image.
    virtual bool ConfigRasterAOI();
    // Checks inputs and parameters before anything is written: opens the
    // input, checks the band list and that the output can be written.
    virtual bool Preproccess();

    // May be null: the task then reports nothing and cannot be cancelled.
    void SetProgress(CBaseProgress* progress) { m_progress = progress; }
    CBaseProgress* GetProgress() const { return m_progress; }

    // Runs Process and reports its end to the progress object; see above
    // for who owns the object afterwards. Returns false only when the task
    // ran on the caller's thread and failed.
    bool ProcessFromNewThread(bool newThread);

    // The record as this algorithm copied it.
    const AlgorithmParam& GetParam() const { return *m_param; }
    const std::wstring& GetLastError() const { return m_lastError; }
    bool WasCancelled() const { return m_cancelled; }

    // Waits until every task started on its own thread has ended (the
    // command line and the host call it before exiting).
    static void WaitForRunningTasks();

    // Launch seam for tests: when set, ProcessFromNewThread(true) hands the
    // algorithm to the hook instead of starting it. The hook returns true to
    // let it start after all, or false to keep it (and then owns it).
    using LaunchHook = std::function<bool(CBaseAlgorithm*)>;
    static void SetLaunchHook(LaunchHook hook);

    // Told of every task that ends well, on the task's thread, with its
    // record (the host puts the output on its map). Null removes it.
    using FinishedHook = std::function<void(const AlgorithmParam&)>;
    static void SetFinishedHook(FinishedHook hook);

protected:
    // Records a failure message (for the progress window or the command
    // line) and returns false.
    bool Fail(const std::wstring& message);
    // Fails with the problem a parameter declaration found, when there is one.
    bool CheckDeclared(const std::string& problem);
    // Progress helpers that tolerate a null progress object.
    void ReportStep(const std::wstring& step);
    void ReportPercent(double percent);
    // True once the user asked to stop; the task then ends without output.
    bool IsCancelled();

    // A stage covering [from, to] percent of the whole task.
    ProgressFn Stage(double from, double to, const std::wstring& step);
    // The processing rectangle: the record's (all 0: the whole image)
    // clipped to the input, and to the AOI's rectangle when there is one.
    PixelRect ProcessingRect() const;

    std::unique_ptr<AlgorithmParam> m_param;
    CBaseProgress* m_progress = nullptr;
    // Opened by Preproccess (the input) and ConfigRasterAOI (the AOI).
    std::unique_ptr<CRasterSource> m_input;
    std::unique_ptr<CAOISource> m_aoiSource;
    std::unique_ptr<CRasterAOI> m_aoi;
    // The bands to read, as band numbers from 1: the record's list (indices
    // from 0) plus one, or every band.
    std::vector<int> m_bands;
    std::wstring m_lastError;
    bool m_cancelled = false;

private:
    void run();
    bool m_lastSucceeded = false;
};
