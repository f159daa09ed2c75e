#include "processing/basealgorithm.h"

#include "base/commonfun.h"
#include "engine/rastersource.h"
#include "processing/progress.h"

#include <algorithm>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>

namespace fs = std::filesystem;

namespace {

std::mutex g_tasksMutex;
std::condition_variable g_tasksDone;
int g_runningTasks = 0;
CBaseAlgorithm::LaunchHook g_launchHook;
CBaseAlgorithm::FinishedHook g_finishedHook;

} // namespace

CBaseAlgorithm::CBaseAlgorithm(const AlgorithmParam& param) : m_param(param.Clone()) {}

CBaseAlgorithm::CBaseAlgorithm(std::unique_ptr<AlgorithmParam> param) : m_param(std::move(param)) {}

CBaseAlgorithm::~CBaseAlgorithm() = default;

bool CBaseAlgorithm::CheckDeclared(const std::string& problem) {
    return problem.empty() || Fail(L"Invalid parameter: " + CommonFun::M2U(problem) + L".");
}

bool CBaseAlgorithm::Fail(const std::wstring& message) {
    m_lastError = message;
    return false;
}

void CBaseAlgorithm::ReportStep(const std::wstring& step) {
    if (m_progress)
        m_progress->SetStep(step);
}

void CBaseAlgorithm::ReportPercent(double percent) {
    if (m_progress)
        m_progress->SetPercent(std::clamp(percent, 0.0, 100.0));
}

bool CBaseAlgorithm::IsCancelled() {
    if (m_progress && m_progress->IsCancelled())
        m_cancelled = true;
    return m_cancelled;
}

ProgressFn CBaseAlgorithm::Stage(double from, double to, const std::wstring& step) {
    ReportStep(step);
    ReportPercent(from);
    return [this, from, to, last = -1.0](double fraction) mutable {
        const double percent = from + (to - from) * std::clamp(fraction, 0.0, 1.0);
        if (percent - last >= 0.1 || fraction >= 1.0) { // spare the window a flood of updates
            ReportPercent(percent);
            last = percent;
        }
        return !IsCancelled();
    };
}

bool CBaseAlgorithm::Preproccess() {
    const AlgorithmParam& p = *m_param;
    if (p.m_inputPath.empty())
        return Fail(L"No input image was given.");
    if (p.m_outputPath.empty())
        return Fail(L"No output path was given.");
    m_input = std::make_unique<CRasterSource>();
    if (m_input->Open(p.m_inputPath) != GIS_OK)
        return Fail(L"Cannot open the input image " + p.m_inputPath + L" as a raster.");
    const int bandCount = m_input->GetBandCount();
    m_bands.clear();
    for (int index : p.m_bandList)
        m_bands.push_back(index + 1);
    if (m_bands.empty())
        for (int b = 1; b <= bandCount; ++b)
            m_bands.push_back(b);
    for (int b : m_bands)
        if (b < 1 || b > bandCount)
            return Fail(L"Band " + std::to_wstring(b) + L" does not exist: " + p.m_inputPath + L" has " +
                        std::to_wstring(bandCount) + L" bands.");
    // The output goes beside its target; the folder must exist.
    const fs::path target(CommonFun::U2M(p.m_outputPath));
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    if (!fs::is_directory(folder, ec))
        return Fail(L"The output folder does not exist: " + CommonFun::M2U(folder.string()));
    if (fs::is_directory(target, ec))
        return Fail(L"The output path is a folder: " + p.m_outputPath);
    if (CommonFun::U2M(p.m_inputPath) == target.string())
        return Fail(L"The output would overwrite the input image " + p.m_inputPath);
    return true;
}

bool CBaseAlgorithm::ConfigRasterAOI() {
    m_aoi.reset();
    m_aoiSource.reset();
    if (m_param->m_aoiPath.empty())
        return true;
    if (!m_input || !m_input->IsOpen())
        return Fail(L"The input image is not open.");
    m_aoiSource = std::make_unique<CAOISource>();
    if (m_aoiSource->Open(m_param->m_aoiPath) != GIS_OK)
        return Fail(L"Cannot read polygons from the area of interest " + m_param->m_aoiPath);
    m_aoi = std::make_unique<CRasterAOI>(m_input.get(), m_aoiSource.get());
    if (!m_aoi->Initialize())
        return Fail(L"The area of interest " + m_param->m_aoiPath + L" does not overlap the input image.");
    return true;
}

PixelRect CBaseAlgorithm::ProcessingRect() const {
    PixelRect r{0, 0, m_input ? m_input->GetWidth() : 0, m_input ? m_input->GetHeight() : 0};
    const AlgorithmParam& p = *m_param;
    if (p.m_left || p.m_top || p.m_right || p.m_bottom) {
        r.left = std::max(r.left, p.m_left);
        r.top = std::max(r.top, p.m_top);
        r.right = std::min(r.right, p.m_right);
        r.bottom = std::min(r.bottom, p.m_bottom);
    }
    if (m_aoi) {
        const PixelRect a = m_aoi->GetRect();
        r.left = std::max(r.left, a.left);
        r.top = std::max(r.top, a.top);
        r.right = std::min(r.right, a.right);
        r.bottom = std::min(r.bottom, a.bottom);
    }
    r.right = std::max(r.right, r.left);
    r.bottom = std::max(r.bottom, r.top);
    return r;
}

void CBaseAlgorithm::run() {
    if (m_progress)
        m_progress->SetTitle(m_param->m_algorithmName);
    bool ok = false;
    try {
        ok = Process();
    } catch (const std::bad_alloc&) {
        ok = Fail(L"Out of memory.");
    } catch (const std::exception& e) {
        ok = Fail(CommonFun::M2U(e.what()));
    }
    if (!ok && m_cancelled)
        m_lastError.clear();
    if (!ok && !m_cancelled && m_lastError.empty())
        m_lastError = L"The task failed.";
    if (m_progress)
        m_progress->Finish(ok, m_lastError);
    m_lastSucceeded = ok;
    FinishedHook finished;
    if (ok) {
        std::lock_guard<std::mutex> lock(g_tasksMutex);
        finished = g_finishedHook;
    }
    if (finished)
        finished(*m_param);
}

bool CBaseAlgorithm::ProcessFromNewThread(bool newThread) {
    if (!newThread) {
        run();
        return m_lastSucceeded;
    }
    LaunchHook hook;
    {
        std::lock_guard<std::mutex> lock(g_tasksMutex);
        hook = g_launchHook;
    }
    if (hook && !hook(this))
        return true; // the hook keeps the algorithm
    {
        std::lock_guard<std::mutex> lock(g_tasksMutex);
        ++g_runningTasks;
    }
    std::thread([this] {
        run();
        delete this;
        std::lock_guard<std::mutex> lock(g_tasksMutex);
        --g_runningTasks;
        g_tasksDone.notify_all();
    }).detach();
    return true;
}

void CBaseAlgorithm::WaitForRunningTasks() {
    std::unique_lock<std::mutex> lock(g_tasksMutex);
    g_tasksDone.wait(lock, [] { return g_runningTasks == 0; });
}

void CBaseAlgorithm::SetFinishedHook(FinishedHook hook) {
    std::lock_guard<std::mutex> lock(g_tasksMutex);
    g_finishedHook = std::move(hook);
}

void CBaseAlgorithm::SetLaunchHook(LaunchHook hook) {
    std::lock_guard<std::mutex> lock(g_tasksMutex);
    g_launchHook = std::move(hook);
}
