#pragma once
// The options every raster-producing command shares (--aoi, --bands,
// --format) and how they fill a record, defined once.

#include "cli/options.h"

class AlgorithmParam;

OptionDef AoiOption();
OptionDef BandsOption(const char* help = "bands to use, e.g. 1,2,3; default every band");
OptionDef FormatOption();

// The output format code of --format (unchanged when absent); a usage error
// when it names no format.
void FillFormat(AlgorithmParam& record, const ParsedOptions& o);
// --aoi, --bands (counted from 1 on the command line, from 0 in the record)
// and --format, with one band of Byte classes out.
void FillRecordOptions(AlgorithmParam& record, const ParsedOptions& o);
