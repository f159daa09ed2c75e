#pragma once
// The supervised classifiers, one line each: the name a user picks, the
// parameters the method declares, and how it builds its algorithm. The
// command line finds its methods here; a new decision rule is its kernel and
// its line in DecisionRules(), a new learner one line here.

#include "processing/basealgorithm.h"
#include "processing/classifyoutputs.h"
#include "processing/paramdecl.h"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tessera {

// What a method is built from besides its parameters.
struct ClassifierInputs {
    AlgorithmParam base;                  // paths, area of interest, bands, output format
    std::wstring samplePath;              // the training-sample file
    std::map<std::string, double> values; // every declared parameter; missing ones take their default
    std::wstring modelPath; // a trained model to classify with instead of training; empty: train
    ClassifyExtras extras;  // confidence raster, validation, seed, priors
};

struct ClassifierMethod {
    std::string name;           // "maxlik"
    std::string summary;        // one line
    std::string modelExtension; // of the saved model (".svm"), when the method saves one
    std::vector<ParamInfo> params;
    // Methods that save their trained model: where it goes by default,
    // given the output path (a --model option reuses one instead). Null: none.
    std::function<std::wstring(const std::wstring& outputPath)> modelPath;
    std::function<std::unique_ptr<CBaseAlgorithm>(const ClassifierInputs&)> create;
};

const std::vector<ClassifierMethod>& ClassifierMethods();
// The method of that name, or null.
const ClassifierMethod* FindClassifierMethod(const std::string& name);

} // namespace tessera
