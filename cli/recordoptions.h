#pragma once
// The options every raster-producing command shares (--aoi, --bands,
// --format, --co) and how they fill a record, defined once.

#include "cli/options.h"
#include "cli/subcommands.h"
#include "processing/paramdecl.h"

class AlgorithmParam;

OptionDef AoiOption();
OptionDef BandsOption(const char* help = "bands to use, e.g. 1,2,3; default every band");
OptionDef FormatOption();
OptionDef CreationOption();

// The output format code of --format (unchanged when absent) and the
// creation options of --co, checked against the output's format (the
// record's output path is set first); a usage error when --format names no
// format or the format refuses a creation option.
void FillFormat(AlgorithmParam& record, const ParsedOptions& o);
// --aoi, --bands (counted from 1 on the command line, from 0 in the record),
// --format and --co, with one band of Byte classes out.
void FillRecordOptions(AlgorithmParam& record, const ParsedOptions& o);

// The option of a declared parameter: its kind, default, range or choices.
OptionDef OptionOf(const tessera::ParamInfo& param);
std::vector<OptionDef> OptionsOf(const std::vector<tessera::ParamInfo>& params);
// The parameter's value on the command line (its default when not given),
// a choice as its value; a usage error when the declaration refuses it.
double ParamValue(const tessera::ParamInfo& param, const ParsedOptions& o);

// Every declared parameter of the record set from the command line.
template <class Record>
void ApplyParams(const tessera::ParamTable<Record>& table, const ParsedOptions& o, Record& record) {
    for (const tessera::ParamInfo& param : table.Infos())
        table.Set(record, param.name, ParamValue(param, o));
}
