#pragma once
// Help topics of the windows, all in the classification module.

#include "platform/commonoperator.h"

namespace HelpTopic {
inline constexpr FunctionModuleType Module = FUNCTION_MODULE_CLASSIFY;

inline constexpr int Vectorize = 1;
inline constexpr int Accuracy = 2;
inline constexpr int SampleEditor = 3;
inline constexpr int SuperviseMinimumDistance = 4; // supervised window, classifier kind 0
inline constexpr int ClassMerge = 5;
inline constexpr int ClassStatistics = 6;
inline constexpr int ClassClump = 7;
inline constexpr int ClassFilter = 8;
inline constexpr int Unsupervised = 9;
inline constexpr int Svm = 14;
inline constexpr int BPNetwork = 15;
inline constexpr int SuperviseMaximumLikelihood = 16; // kind 1
inline constexpr int SuperviseMahalanobis = 17;       // kind 2
inline constexpr int RandomForest = 18;

// Every topic that has a page.
inline constexpr int All[] = {Vectorize,
                              Accuracy,
                              SampleEditor,
                              SuperviseMinimumDistance,
                              ClassMerge,
                              ClassStatistics,
                              ClassClump,
                              ClassFilter,
                              Unsupervised,
                              Svm,
                              BPNetwork,
                              SuperviseMaximumLikelihood,
                              SuperviseMahalanobis,
                              RandomForest};

// Topic of the supervised common window for a classifier kind; 0 (no help)
// for the kinds without a page of their own.
inline constexpr int ForSupervisedKind(int kind) {
    switch (kind) {
    case 0:
        return SuperviseMinimumDistance;
    case 1:
        return SuperviseMaximumLikelihood;
    case 2:
        return SuperviseMahalanobis;
    default:
        return 0;
    }
}

// Opens the window's topic; the result is not used by the windows.
inline void Show(int topic) {
    if (topic > 0)
        CommonOperator::ShowHelpChm(Module, topic);
}
} // namespace HelpTopic
