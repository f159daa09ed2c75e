// tessera classify: supervised classification from a sample file, with the
// record and factory the supervised windows use.
#include "cli/cliprogress.h"
#include "cli/subcommands.h"
#include "engine/rastersource.h"
#include "platform/commonfun.h"
#include "processing/supervised.h"

#include <map>
#include <ostream>

namespace {

const std::map<std::string, SuperviseClassifyType>& methods() {
    static const std::map<std::string, SuperviseClassifyType> all{
        {"mindist", SUPERVISE_MINIMUM_DISTANCE}, {"maxlik", SUPERVISE_MAXIMUM_LIKELIHOOD},
        {"mahalanobis", SUPERVISE_MAHALANOBIS},  {"sam", SUPERVISE_SPECTRAL_ANGLE},
        {"parallelepiped", SUPERVISE_PARALLELEPIPED}};
    return all;
}

CommandSpec classifySpec() {
    CommandSpec spec;
    spec.name = "classify";
    spec.summary = "Supervised classification from a training-sample file (.cif).";
    spec.positionals = {{"IN", "input image"}, {"SAMPLES", "sample file (.cif) with one signature per class"},
                        {"OUT", "classified image to write"}};
    spec.options = {
        StringOption("method", "NAME", "mindist, maxlik, mahalanobis, sam or parallelepiped").Required(),
        DoubleOption("threshold", "T",
                     "rejection: mindist largest distance, maxlik/mahalanobis largest Mahalanobis distance, sam "
                     "largest angle in radians, parallelepiped box half-width in standard deviations; 0 none "
                     "(parallelepiped: min-max boxes; sam defaults to 0.5)")
            .Min(0),
        StringOption("aoi", "FILE", "area of interest (.aif or any OGR polygon layer); default the whole image"),
        IntListOption("bands", "LIST", "bands to use, e.g. 1,2,3 (the sample file must cover them); default all")
            .Min(1),
        StringOption("format", "NAME", "output format: tif, img, pix, dat, bmp, ers, ntf or bt; default from "
                                       "OUT's extension, GeoTIFF when it names none"),
        FlagOption("quiet", "no progress bar"),
    };
    spec.details = "Class i of OUT is the i-th sample of SAMPLES, with its name and colour; 0 is unclassified.";
    return spec;
}

int runClassify(const ParsedOptions& o, CommandContext& context) {
    const auto method = methods().find(o.String("method"));
    if (method == methods().end())
        throw UsageError("--method: unknown method '" + o.String("method") +
                         "' (mindist, maxlik, mahalanobis, sam or parallelepiped)");
    CSuperviseCommonParam record;
    record.m_inputPath = CommonFun::M2U(o.Positional(0));
    record.m_sampleFilePath = CommonFun::M2U(o.Positional(1));
    record.m_outputPath = CommonFun::M2U(o.Positional(2));
    if (o.Has("aoi"))
        record.m_aoiPath = CommonFun::M2U(o.String("aoi"));
    if (o.Has("bands"))
        for (std::int64_t b : o.IntList("bands"))
            record.m_bandList.push_back(static_cast<int>(b) - 1); // the record counts bands from 0
    record.m_outputDataType = PDT_Byte;
    record.m_outputBandCount = 1;
    if (o.Has("format")) {
        const int code = CRasterSource::GetDataFormat(L"x." + CommonFun::M2U(o.String("format")));
        if (code == RDF_Unknown)
            throw UsageError("--format: unknown format '" + o.String("format") + "'");
        record.m_outputFormat = code;
    }
    // The spectral angle window starts at 0.5 radians; the others at 0.
    record.m_threshold = o.Has("threshold") ? o.Double("threshold")
                                            : (method->second == SUPERVISE_SPECTRAL_ANGLE ? 0.5 : 0.0);
    std::unique_ptr<CBaseAlgorithm> algorithm(CSuperviseAlgFactory::CreateAlgorithm(method->second, &record, nullptr));
    RunAlgorithm(*algorithm, o.Flag("quiet"));
    context.out << "classify (" << o.String("method") << "): wrote " << o.Positional(2) << " and its .acf\n";
    return kExitOk;
}

} // namespace

Subcommand ClassifySubcommand() { return {classifySpec(), runClassify}; }
