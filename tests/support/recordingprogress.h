#pragma once
// A progress object for algorithms run directly: records what it is told and
// can ask to stop after some reports.

#include "processing/progress.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

class RecordingProgress : public CBaseProgress {
public:
    int cancelAfter = -1; // reports before the cancel; -1: never
    std::atomic<int> reports{0};
    double lastPercent = -1;
    bool finished = false, succeeded = false;
    std::wstring title, message;

    void Show(int) override {}
    void SetTitle(const std::wstring& t) override { title = t; }
    void SetStep(const std::wstring&) override {}
    void SetPercent(double p) override {
        ++reports;
        EXPECT_GE(p, lastPercent); // progress never goes back
        lastPercent = p;
    }
    bool IsCancelled() const override { return cancelAfter >= 0 && reports >= cancelAfter; }
    void Finish(bool ok, const std::wstring& m) override {
        finished = true;
        succeeded = ok;
        message = m;
    }
};
