#include "cli/recordoptions.h"

#include "base/commonfun.h"
#include "engine/formatio.h"
#include "engine/rastersource.h"
#include "processing/algorithmparam.h"
#include "processing/classraster.h"

using namespace tessera;

OptionDef AoiOption() {
    return StringOption("aoi", "FILE",
                        "area of interest (.aif or any OGR polygon layer); default the whole image")
        .Reads(FileKind::Aoi);
}

OptionDef BandsOption(const char* help) {
    return IntListOption("bands", "LIST", help).Min(1);
}

OptionDef FormatOption() {
    return StringOption(
        "format", "NAME",
        "output format: tif, img, pix, dat, bmp, ers, ntf or bt; default from OUT's extension, "
        "GeoTIFF when it names none");
}

OptionDef CreationOption() {
    return StringOption("co", "KEY=VALUE",
                        "creation option of the output format, as GDAL names it (gdal_translate -co); "
                        "over the defaults, for GeoTIFF TILED=YES, COMPRESS=DEFLATE, ZLEVEL=1, "
                        "NUM_THREADS=ALL_CPUS, BIGTIFF=IF_SAFER")
        .Repeatable();
}

void FillFormat(AlgorithmParam& record, const ParsedOptions& o) {
    if (o.Has("format")) {
        const int code = CRasterSource::GetDataFormat(L"x." + CommonFun::M2U(o.String("format")));
        if (code == RDF_Unknown)
            throw UsageError("--format: unknown format '" + o.String("format") + "'");
        record.m_outputFormat = code;
    }
    record.m_creationOptions = o.Strings("co");
    std::wstring refused;
    ClassRasterWriter::CreationOptions(record.m_outputFormat, record.m_outputPath, record.m_creationOptions,
                                       refused);
    if (!refused.empty())
        throw UsageError("--co: " + CommonFun::U2M(refused));
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

OptionDef OptionOf(const ParamInfo& param) {
    OptionDef o;
    switch (param.type) {
    case ParamType::Integer:
        o = IntOption(param.name, param.placeholder, param.help);
        break;
    case ParamType::Real:
        o = param.keyword
                ? StringOption(param.name, param.placeholder + "|" + param.keyword->name, param.help)
                : DoubleOption(param.name, param.placeholder, param.help);
        break;
    case ParamType::Choice: {
        std::vector<std::string> names;
        for (const ParamChoice& c : param.choices)
            names.push_back(c.name);
        o = StringOption(param.name, param.placeholder, param.help).Choices(names);
        break;
    }
    }
    o.defaultText = param.DefaultText();
    o.min = param.min;
    o.max = param.max;
    o.minExcluded = param.minExcluded;
    return o;
}

std::vector<OptionDef> OptionsOf(const std::vector<ParamInfo>& params) {
    std::vector<OptionDef> options;
    for (const ParamInfo& p : params)
        options.push_back(OptionOf(p));
    return options;
}

double ParamValue(const ParamInfo& param, const ParsedOptions& o) {
    double value = 0;
    switch (param.type) {
    case ParamType::Integer:
        value = static_cast<double>(o.Int(param.name));
        break;
    case ParamType::Real:
        if (!param.keyword)
            value = o.Double(param.name);
        else if (o.String(param.name) == param.keyword->name)
            value = param.keyword->value;
        else if (!formatio::ParseFiniteDouble(o.String(param.name), value))
            throw UsageError("--" + param.name + ": expected a number or " + param.keyword->name + ", got '" +
                             o.String(param.name) + "'");
        break;
    case ParamType::Choice:
        for (const ParamChoice& c : param.choices)
            if (c.name == o.String(param.name))
                value = c.value;
        break;
    }
    if (const std::string problem = param.Check(value); !problem.empty())
        throw UsageError("--" + problem);
    return value;
}
