#include "base/log.h"

#include "base/commonfun.h"

#include <ctime>

namespace {
CLogger g_stderrLogger;
}

CLogger* CLog::m_pLogger = &g_stderrLogger;

CLogger::CLogger() = default;

CLogger::CLogger(const std::string& path) : m_file(std::fopen(path.c_str(), "a")) {}

CLogger::~CLogger() {
    if (m_file)
        std::fclose(m_file);
}

void CLogger::Write(int level, const std::string& source, int line, const std::string& function,
                    const std::string& message) {
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::lock_guard<std::mutex> lock(m_mutex);
    std::FILE* out = m_file ? m_file : stderr;
    std::fprintf(out, "%s [%s] %s:%d %s: %s\n", stamp, CLog::LevelName(level), source.c_str(), line,
                 function.c_str(), message.c_str());
    std::fflush(out);
}

const char* CLog::LevelName(int level) {
    switch (level) {
    case LOG_LEVEL_ERROR:
        return "ERROR";
    case LOG_LEVEL_WARNING:
        return "WARNING";
    case LOG_LEVEL_INFO:
        return "INFO";
    case LOG_LEVEL_DEBUG:
        return "DEBUG";
    default:
        return "LOG";
    }
}

void CLog::WriteLog(int level, const char* source, int line, const char* function,
                    const std::string& message) {
    if (!m_pLogger)
        return;
    m_pLogger->Write(level, source ? source : "", line, function ? function : "", message);
}

void CLog::WriteLog(int level, const char* source, int line, const char* function,
                    const std::wstring& message) {
    WriteLog(level, source, line, function, CommonFun::U2M(message));
}
