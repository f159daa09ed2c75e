#pragma once
// A progress bar on a text stream (stderr by default) for the command line.
//
// On a terminal the bar redraws in place with '\r' whenever the whole percent
// changes; otherwise (a log file, a pipe) it prints one line per 10 % so logs
// stay short. Independent of Qt and of the processing library; safe to call
// from a worker thread (calls are serialised).

#include <cstdio>
#include <mutex>
#include <string>

class TextProgress {
public:
    // Interactive (redraw with '\r') when the stream is a terminal.
    explicit TextProgress(std::FILE* stream = stderr);
    TextProgress(std::FILE* stream, bool interactive);

    // Starts a task: its title leads every line.
    void Begin(const std::string& title);
    // The task moved on to a new step; shown beside the bar.
    void Step(const std::string& step);
    // Overall completion, 0 to 100 (clamped; NaN ignored). Draws only when
    // the whole percent changes (interactive) or a 10 % mark is passed.
    void Percent(double percent);
    // Ends the task with a last line: "done" or "failed".
    void End(bool ok);

    bool Interactive() const { return m_interactive; }

private:
    void drawLocked();

    std::FILE* m_stream;
    bool m_interactive;
    std::mutex m_mutex;
    std::string m_title;
    std::string m_step;
    int m_percent = -1;      // last whole percent drawn
    int m_decile = -1;       // last 10 % mark printed (non-interactive)
    size_t m_lineLength = 0; // of the line being redrawn (interactive)
    bool m_open = false;     // an interactive line is on screen without its newline
};
