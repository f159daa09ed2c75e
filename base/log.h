#pragma once
// The common base library's logger. One logger per process, reached through
// CLog::m_pLogger; when it is null nothing is logged. Lines go to stderr or
// to a log file, one line per call:
//   2026-12-06 10:15:02 [ERROR] AoiEditorDlg:412 CAoiEditorDlg::OnMerge: Merge Covariant Failed!

#include <cstdio>
#include <mutex>
#include <string>

enum LogLevel { LOG_LEVEL_ERROR = 1, LOG_LEVEL_WARNING = 2, LOG_LEVEL_INFO = 3, LOG_LEVEL_DEBUG = 4 };

class CLogger {
public:
    // Writes to stderr.
    CLogger();
    // Appends to the file at path (UTF-8 name); falls back to stderr when the
    // file cannot be opened.
    explicit CLogger(const std::string& path);
    ~CLogger();
    CLogger(const CLogger&) = delete;
    CLogger& operator=(const CLogger&) = delete;

    void Write(int level, const std::string& source, int line, const std::string& function,
               const std::string& message);
    bool WritesToFile() const { return m_file != nullptr; }

private:
    std::FILE* m_file = nullptr;
    std::mutex m_mutex;
};

class CLog {
public:
    // The process's logger; created at load time writing to stderr. A host may
    // replace it (and owns what it puts here) or set it to null to silence it.
    static CLogger* m_pLogger;

    static void WriteLog(int level, const char* source, int line, const char* function,
                         const std::wstring& message);
    static void WriteLog(int level, const char* source, int line, const char* function,
                         const std::string& message);

    static const char* LevelName(int level);
};
