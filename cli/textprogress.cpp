#include "cli/textprogress.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace {

constexpr int kBarWidth = 30;

} // namespace

TextProgress::TextProgress(std::FILE* stream) : TextProgress(stream, ::isatty(::fileno(stream)) == 1) {}

TextProgress::TextProgress(std::FILE* stream, bool interactive)
    : m_stream(stream), m_interactive(interactive) {}

void TextProgress::Begin(const std::string& title) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_title = title;
    m_step.clear();
    m_percent = -1;
    m_decile = -1;
    m_lineLength = 0;
    m_open = false;
}

void TextProgress::Step(const std::string& step) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (step == m_step)
        return;
    m_step = step;
    // A new step is shown at once; in a log it starts its own 10 % marks.
    m_decile = -1;
    if (m_interactive) {
        drawLocked();
    } else {
        std::fprintf(m_stream, "%s: %s\n", m_title.c_str(), m_step.c_str());
        std::fflush(m_stream);
    }
}

void TextProgress::Percent(double percent) {
    if (std::isnan(percent))
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    const int whole = static_cast<int>(std::floor(std::clamp(percent, 0.0, 100.0)));
    if (whole == m_percent)
        return;
    m_percent = whole;
    if (m_interactive) {
        drawLocked();
        return;
    }
    const int decile = whole / 10;
    if (decile == m_decile)
        return;
    if (decile < m_decile) { // the task went back (a new pass): count from here
        m_decile = decile;
        return;
    }
    m_decile = decile;
    if (decile == 0) // the start of a step is its own line already
        return;
    std::fprintf(m_stream, "%s: %s%s%d%%\n", m_title.c_str(), m_step.c_str(), m_step.empty() ? "" : " ",
                 decile * 10);
    std::fflush(m_stream);
}

void TextProgress::End(bool ok) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_interactive && ok) {
        m_percent = 100;
        drawLocked();
    }
    if (m_open)
        std::fputc('\n', m_stream);
    m_open = false;
    std::fprintf(m_stream, "%s: %s\n", m_title.c_str(), ok ? "done" : "failed");
    std::fflush(m_stream);
}

void TextProgress::drawLocked() {
    const int pct = std::max(m_percent, 0);
    const int filled = pct * kBarWidth / 100;
    std::string line =
        m_title + ": [" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] ";
    char number[16];
    std::snprintf(number, sizeof number, "%3d%%", pct);
    line += number;
    if (!m_step.empty())
        line += "  " + m_step;
    // Blank out what is left of a longer previous line.
    const size_t length = line.size();
    if (length < m_lineLength)
        line += std::string(m_lineLength - length, ' ');
    m_lineLength = length;
    std::fprintf(m_stream, "\r%s", line.c_str());
    std::fflush(m_stream);
    m_open = true;
}
