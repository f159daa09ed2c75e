#pragma once
// The command line's progress object for the processing library: the text
// bar on stderr, and SIGINT, SIGTERM or SIGHUP (see Interrupted()) as Cancel
// (the task then stops between blocks and leaves no output behind).

#include "cli/textprogress.h"
#include "engine/classlist.h"
#include "processing/progress.h"

#include <atomic>
#include <string>

class CliProgress : public CBaseProgress {
public:
    explicit CliProgress(bool quiet = false);
    ~CliProgress() override;

    void Show(int) override {}
    void SetTitle(const std::wstring& title) override;
    void SetStep(const std::wstring& step) override;
    void SetPercent(double percent) override;
    bool IsCancelled() const override;
    void Finish(bool success, const std::wstring& message) override;

private:
    TextProgress m_bar;
    bool m_quiet;
    bool m_begun = false;
};

// Runs an algorithm on this thread with a CliProgress; throws a one-line
// std::runtime_error with the algorithm's message when it fails or is
// cancelled.
class CBaseAlgorithm;
void RunAlgorithm(CBaseAlgorithm& algorithm, bool quiet);

// The class list of a classified image (tessera::ReadRasterClassList) with a
// progress bar while the image is read; throws a one-line std::runtime_error
// when the image has no readable classes.
tessera::RasterClassList ReadClassList(const std::string& imagePath, bool quiet);
