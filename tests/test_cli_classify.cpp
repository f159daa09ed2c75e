// tessera kmeans / isodata / classify on a synth scene: outputs, agreement with the
// truth, and the one-line failures that leave nothing behind.
#include "cli/subcommands.h"
#include "engine/classifiedassistantfile.h"
#include "base/commonfun.h"
#include "support/scratchdir.h"

#include <gdal_priv.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct CommandRun {
    int code;
    std::string out, err;
};

CommandRun tessera(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunCommandLine(args, out, err);
    return {code, out.str(), err.str()};
}

const fs::path& scene() {
    static const fs::path dir = [] {
        const fs::path d = ScratchDir() / "classify-scene";
        const CommandRun r = tessera({"synth", d.string(), "--width", "160", "--height", "120", "--classes", "4",
                               "--bands", "3", "--seed", "5", "--points", "50", "--polygons-per-class", "1"});
        EXPECT_EQ(r.code, 0) << r.err;
        return d;
    }();
    return dir;
}

std::vector<int> readBand(const fs::path& path) {
    std::unique_ptr<GDALDataset> ds(GDALDataset::Open(path.string().c_str(), GDAL_OF_RASTER));
    if (!ds)
        return {};
    std::vector<int> v(static_cast<size_t>(ds->GetRasterXSize()) * ds->GetRasterYSize());
    EXPECT_EQ(ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, ds->GetRasterXSize(), ds->GetRasterYSize(), v.data(),
                                             ds->GetRasterXSize(), ds->GetRasterYSize(), GDT_Int32, 0, 0, nullptr),
              CE_None);
    return v;
}

// Share of pixels whose cluster, matched greedily to the truth class it most
// overlaps, is their class (greedy matching suffices for a clean scene).
double agreement(const std::vector<int>& truth, const std::vector<int>& labels) {
    std::map<std::pair<int, int>, long> overlap;
    for (size_t i = 0; i < truth.size(); ++i)
        ++overlap[{labels[i], truth[i]}];
    std::map<int, std::pair<long, int>> best;
    for (const auto& [key, n] : overlap)
        if (n > best[key.first].first)
            best[key.first] = {n, key.second};
    long agree = 0;
    for (const auto& [cluster, b] : best)
        agree += b.first;
    return 100.0 * agree / truth.size();
}

std::vector<std::string> files(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST(TesseraClassify, KMeansAndIsodataClassifyASynthScene) {
    const fs::path out = ScratchDir() / "classify-out";
    fs::create_directories(out);
    CommandRun r = tessera({"kmeans", (scene() / "scene.tif").string(), (out / "k.tif").string(), "--classes", "4",
                     "--iterations", "20", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "kmeans: wrote " + (out / "k.tif").string() + " and its .acf\n");
    const std::vector<int> truth = readBand(scene() / "truth.tif");
    EXPECT_GT(agreement(truth, readBand(out / "k.tif")), 95.0);
    CClassifiedAssistantFile acf;
    ASSERT_TRUE(acf.ReadClassifiedAssistantFile(CommonFun::M2U((out / "k.acf").string())));
    EXPECT_EQ(acf.GetClassCount(), 5);

    r = tessera({"isodata", (scene() / "scene.tif").string(), (out / "i.img").string(), "--classes", "4",
                 "--iterations", "10", "--min-distance", "200", "--std-dev", "5000", "--min-pixels", "50",
                 "--bands", "1,2,3", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    std::unique_ptr<GDALDataset> img(GDALDataset::Open((out / "i.img").string().c_str(), GDAL_OF_RASTER));
    ASSERT_TRUE(img);
    EXPECT_STREQ(img->GetDriver()->GetDescription(), "HFA");
    EXPECT_GT(agreement(truth, readBand(out / "i.img")), 90.0);
}

TEST(TesseraClassify, FailuresAreOneLineAndLeaveNothing) {
    const fs::path out = ScratchDir() / "classify-fail";
    fs::create_directories(out);
    const std::string input = (scene() / "scene.tif").string();
    const std::string target = (out / "c.tif").string();
    const auto fails = [&](const std::vector<std::string>& args, int code, const std::string& words) {
        const CommandRun r = tessera(args);
        EXPECT_EQ(r.code, code) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
        EXPECT_TRUE(files(out).empty());
    };
    fails({"kmeans", input, target, "--classes", "0"}, 2, "--classes must be at least 1 (got 0)");
    fails({"kmeans", (out / "missing.tif").string(), target, "--quiet"}, 1, "Cannot open the input image");
    fails({"kmeans", (scene() / "checkpoints.csv").string(), target, "--quiet"}, 1, "Cannot open the input image");
    fails({"kmeans", input, (out / "no" / "c.tif").string(), "--quiet"}, 1, "output folder does not exist");
    fails({"isodata", input, target, "--bands", "1,7", "--quiet"}, 1, "Band 7 does not exist");
    fails({"kmeans", input, target, "--format", "xyz"}, 2, "unknown format");
    fails({"kmeans", input, target, "--aoi", (scene() / "truth.tif").string(), "--quiet"}, 1, "area of interest");
}

TEST(TesseraClassify, EverySupervisedMethodScoresAgainstTheTruth) {
    const fs::path out = ScratchDir() / "supervised-out";
    fs::create_directories(out);
    const std::string input = (scene() / "scene.tif").string(), samples = (out / "s.cif").string();
    CommandRun r = tessera({"samples", input, (scene() / "training.shp").string(), samples, "--class-field", "class"});
    ASSERT_EQ(r.code, 0) << r.err;
    // The angle ignores brightness and the min-max boxes of one polygon per
    // class leave the tails of each class outside: those two score lower.
    const std::map<std::string, double> floors{{"mindist", 95},        {"maxlik", 95}, {"mahalanobis", 95},
                                               {"sam", 90},            {"svm", 95},    {"bpnn", 95},
                                               {"parallelepiped", 80}};
    for (const auto& [name, floor] : floors) {
        const char* method = name.c_str();
        const std::string target = (out / (std::string(method) + ".tif")).string();
        r = tessera({"classify", input, samples, target, "--method", method, "--quiet"});
        ASSERT_EQ(r.code, 0) << method << ": " << r.err;
        const std::string json = (out / (std::string(method) + ".json")).string();
        r = tessera({"accuracy", target, "--reference", (scene() / "truth.tif").string(), "--report",
                     (out / (std::string(method) + ".txt")).string(), "--json", json});
        ASSERT_EQ(r.code, 0) << method << ": " << r.err;
        std::ifstream in(json);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const size_t at = text.find("\"overall_accuracy\":");
        ASSERT_NE(at, std::string::npos);
        EXPECT_GT(std::stod(text.substr(at + 19)), floor) << method;
    }
    // The SVM wrote its model beside the output; --model classifies with it unchanged.
    ASSERT_TRUE(fs::exists(out / "svm.svm"));
    r = tessera({"classify", input, samples, (out / "again.tif").string(), "--method", "svm", "--model",
                 (out / "svm.svm").string(), "--kernel", "rbf", "--quiet"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readBand(out / "again.tif"), readBand(out / "svm.tif"));
}

TEST(TesseraClassify, BadSampleFilesAndRastersFailWithoutOutput) {
    const fs::path out = ScratchDir() / "supervised-fail";
    fs::create_directories(out);
    const std::string input = (scene() / "scene.tif").string(), samples = (out / "s.cif").string();
    ASSERT_EQ(tessera({"samples", input, (scene() / "training.shp").string(), samples, "--class-field", "class"}).code,
              0);
    std::ofstream(out / "empty.cif").close();
    std::ofstream(out / "corrupt.cif") << "not a sample file at all";
    const auto before = files(out);
    const auto fails = [&](std::vector<std::string> args, int code, const std::string& words) {
        const CommandRun r = tessera(args);
        EXPECT_EQ(r.code, code) << r.err;
        EXPECT_NE(r.err.find(words), std::string::npos) << r.err;
        EXPECT_EQ(files(out), before) << args[1];
    };
    const std::string target = (out / "c.tif").string();
    for (const char* method : {"maxlik", "svm", "bpnn"}) {
        fails({"classify", input, samples, target, "--method", method, "--bands", "1,2", "--quiet"}, 1, "bands");
        fails({"classify", input, (out / "empty.cif").string(), target, "--method", method, "--quiet"}, 1,
              "Cannot read the sample file");
        fails({"classify", input, (out / "corrupt.cif").string(), target, "--method", method, "--quiet"}, 1,
              "Cannot read the sample file");
        fails({"classify", (out / "none.tif").string(), samples, target, "--method", method, "--quiet"}, 1,
              "Cannot open the input image");
    }
    fails({"classify", input, samples, target, "--method", "tree"}, 2, "--method must be");
    fails({"classify", input, samples, target, "--method", "svm", "--kernel", "cubic"}, 2, "--kernel must be");
    fails({"classify", input, samples, target, "--method", "bpnn", "--rate", "2"}, 2, "--rate");
    fails({"classify", input, samples, target, "--method", "svm", "--model", (out / "none.svm").string(), "--quiet"},
          1, "Cannot open the SVM model file");
}
