#include "cli/cliprogress.h"

#include "base/commonfun.h"
#include "cli/subcommands.h"
#include "engine/formatio.h"
#include "processing/basealgorithm.h"
#include "processing/distributed.h"

#include <stdexcept>

CliProgress::CliProgress(bool quiet) : m_quiet(quiet) {}

CliProgress::~CliProgress() = default;

void CliProgress::SetTitle(const std::wstring& title) {
    if (m_quiet)
        return;
    m_bar.Begin(CommonFun::U2M(title));
    m_begun = true;
}

void CliProgress::SetStep(const std::wstring& step) {
    if (!m_quiet)
        m_bar.Step(CommonFun::U2M(step));
}

void CliProgress::SetPercent(double percent) {
    if (!m_quiet)
        m_bar.Percent(percent);
}

bool CliProgress::IsCancelled() const {
    return Interrupted();
}

void CliProgress::Finish(bool success, const std::wstring&) {
    if (!m_quiet && m_begun)
        m_bar.End(success);
}

void RunAlgorithm(CBaseAlgorithm& algorithm, bool quiet) {
    // Under mpirun rank 0 shows the progress, and a failure on any rank
    // fails the run on all of them with that rank's message.
    tessera::Communicator& cluster = tessera::Cluster();
    CliProgress progress(quiet || cluster.Rank() != 0);
    algorithm.SetProgress(&progress);
    bool ok = algorithm.ProcessFromNewThread(false);
    algorithm.SetProgress(nullptr);
    std::wstring message = ok || algorithm.WasCancelled() ? L"" : algorithm.GetLastError();
    if (cluster.Shared() && cluster.AgreeOnError(!ok, message, true) && !algorithm.WasCancelled())
        throw std::runtime_error(CommonFun::U2M(message));
    if (ok)
        return;
    if (algorithm.WasCancelled())
        throw std::runtime_error(tessera::formatio::OutputSet::Active() ? "interrupted; nothing was written"
                                                                        : "interrupted");
    throw std::runtime_error(CommonFun::U2M(algorithm.GetLastError()));
}

tessera::RasterClassList ReadClassList(const std::string& imagePath, bool quiet) {
    CliProgress progress(quiet);
    bool begun = false;
    tessera::RasterClassList list;
    std::wstring error;
    const bool ok =
        tessera::ReadRasterClassList(CommonFun::M2U(imagePath), list, error, [&](double fraction) {
            if (!begun)
                progress.SetTitle(L"Reading the classes");
            begun = true;
            progress.SetPercent(fraction * 100.0);
            return !progress.IsCancelled();
        });
    if (begun)
        progress.Finish(ok, error);
    if (!ok)
        throw std::runtime_error(CommonFun::U2M(error));
    return list;
}
