#pragma once
// A UI service for tests: answers come from queues the test fills, and every
// request is recorded so the test can read back what the user was shown.

#include "platform/uiservices.h"
#include "platform/xdialog.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

// The parts of a file request a window chooses.
struct FileAsk {
    bool open;
    std::wstring extension;
    unsigned flags;
    bool hostAware;
    std::wstring filter;
    bool operator==(const FileAsk&) const = default;
    friend void PrintTo(const FileAsk& a, std::ostream* os) {
        *os << (a.open ? "open " : "save ") << ::testing::PrintToString(a.extension) << " flags " << a.flags
            << (a.hostAware ? " host-aware " : " toolkit ") << ::testing::PrintToString(a.filter);
    }
};

class ScriptedUiServices : public IUiServices {
public:
    // Answers, consumed in order.
    std::deque<int> messageAnswers;                        // default when empty: IDOK
    std::deque<FileDialogResult> fileAnswers;              // default when empty: cancelled
    std::deque<std::optional<COLORREF>> colourAnswers;     // default when empty: cancelled
    std::deque<std::function<int(XDialog&)>> modalScripts; // default when empty: IDCANCEL
    // What was asked.
    std::vector<MessageBoxRequest> messages;
    std::vector<FileDialogRequest> fileRequests;
    std::vector<COLORREF> colourRequests;
    std::vector<std::pair<int, int>> helpTopics;

    void ChooseFileAnswer(const std::wstring& path, int filterIndex = 1) {
        fileAnswers.push_back({true, {path}, filterIndex});
    }
    void CancelFileAnswer() { fileAnswers.push_back({}); }
    // The messages shown, each as "text | caption".
    std::vector<std::wstring> Shown() const {
        std::vector<std::wstring> shown;
        for (const MessageBoxRequest& m : messages)
            shown.push_back(m.text + L" | " + m.caption);
        return shown;
    }
    FileAsk Asked(size_t i) const {
        const FileDialogRequest& r = fileRequests.at(i);
        return {r.open, r.defaultExtension, r.flags, r.hostAware, r.filter};
    }

    int MessageBox(const MessageBoxRequest& request) override {
        messages.push_back(request);
        if (messageAnswers.empty())
            return IDOK;
        const int answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }

    FileDialogResult ChooseFile(const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        if (fileAnswers.empty())
            return {};
        FileDialogResult answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }

    std::optional<COLORREF> ChooseColor(COLORREF initial, unsigned) override {
        colourRequests.push_back(initial);
        if (colourAnswers.empty())
            return std::nullopt;
        const auto answer = colourAnswers.front();
        colourAnswers.pop_front();
        return answer;
    }

    int RunModal(XDialog& dialog) override {
        if (modalScripts.empty())
            return IDCANCEL;
        auto script = std::move(modalScripts.front());
        modalScripts.pop_front();
        return script(dialog);
    }

    bool OpenHelpPage(int module, int topic, const std::wstring&) override {
        helpTopics.emplace_back(module, topic);
        return true;
    }
};
