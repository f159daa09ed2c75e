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
#include <type_traits>
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
    // The first answer of a queue, or the default when it is empty.
    template <class T> static T next(std::deque<T>& answers, std::type_identity_t<T> empty) {
        if (answers.empty())
            return empty;
        T answer = std::move(answers.front());
        answers.pop_front();
        return answer;
    }
    FileAsk Asked(size_t i) const {
        const FileDialogRequest& r = fileRequests.at(i);
        return {r.open, r.defaultExtension, r.flags, r.hostAware, r.filter};
    }

    int MessageBox(const MessageBoxRequest& request) override {
        messages.push_back(request);
        return next(messageAnswers, IDOK);
    }
    FileDialogResult ChooseFile(const FileDialogRequest& request) override {
        fileRequests.push_back(request);
        return next(fileAnswers, {});
    }
    std::optional<COLORREF> ChooseColor(COLORREF initial, unsigned) override {
        colourRequests.push_back(initial);
        return next(colourAnswers, std::nullopt);
    }
    int RunModal(XDialog& dialog) override {
        return next(modalScripts, [](XDialog&) { return IDCANCEL; })(dialog);
    }
    bool OpenHelpPage(int module, int topic, const std::wstring&) override {
        helpTopics.emplace_back(module, topic);
        return true;
    }
};
