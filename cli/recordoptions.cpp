#include "cli/recordoptions.h"

#include "engine/rastersource.h"
#include "base/commonfun.h"
#include "processing/algorithmparam.h"

OptionDef AoiOption() {
    return StringOption("aoi", "FILE", "area of interest (.aif or any OGR polygon layer); default the whole image");
}

OptionDef BandsOption(const char* help) { return IntListOption("bands", "LIST", help).Min(1); }

OptionDef FormatOption() {
    return StringOption("format", "NAME",
                        "output format: tif, img, pix, dat, bmp, ers, ntf or bt; default from OUT's extension, "
                        "GeoTIFF when it names none");
}

void FillFormat(AlgorithmParam& record, const ParsedOptions& o) {
    if (!o.Has("format"))
        return;
    const int code = CRasterSource::GetDataFormat(L"x." + CommonFun::M2U(o.String("format")));
    if (code == RDF_Unknown)
        throw UsageError("--format: unknown format '" + o.String("format") + "'");
    record.m_outputFormat = code;
}

void FillRecordOptions(AlgorithmParam& record, const ParsedOptions& o) {
    if (o.Has("aoi"))
        record.m_aoiPath = CommonFun::M2U(o.String("aoi"));
    if (o.Has("bands"))
        for (std::int64_t b : o.IntList("bands"))
            record.m_bandList.push_back(static_cast<int>(b) - 1);
    record.m_outputDataType = PDT_Byte;
    record.m_outputBandCount = 1;
    FillFormat(record, o);
}
