#pragma once
// The parameter record every task starts from. Windows and the command line
// fill one on their stack and hand it to an algorithm's constructor, which
// copies it: the caller destroys the record right after the start.

#include "engine/enginetypes.h"

#include <memory>
#include <string>
#include <vector>

class IControlerInterface;

class AlgorithmParam {
public:
    AlgorithmParam() = default;
    virtual ~AlgorithmParam() = default;
    // A copy of the whole record, derived fields included.
    virtual std::unique_ptr<AlgorithmParam> Clone() const { return std::make_unique<AlgorithmParam>(*this); }

    std::wstring m_algorithmName; // display name of the task (progress window title)
    std::wstring m_inputPath;
    std::wstring m_outputPath;
    std::wstring m_aoiPath; // empty: the whole image
    // Processing rectangle in pixels; right and bottom exclusive. All 0: the
    // whole image.
    int m_left = 0;
    int m_top = 0;
    int m_right = 0;
    int m_bottom = 0;
    int m_outputDataType = PDT_Byte;  // a PixelDataType code; classifiers choose Byte or UInt16 themselves
    std::vector<int> m_bandList;      // band indices from 0 (0 is the first band); empty: every band
    int m_outputBandCount = 0;        // 0: the algorithm decides (classifiers write one band)
    int m_outputFormat = RDF_Unknown; // a RasterDataFormat code; 0: from the output path's extension
    // KEY=VALUE creation options of the output format, over the defaults of class maps.
    std::vector<std::string> m_creationOptions;
    IControlerInterface* m_host = nullptr;
};

// A copy of the record as the derived record type an algorithm needs: the
// whole record when it is one (or derives from it), otherwise its base
// fields with the derived fields at their defaults.
template <class Record> std::unique_ptr<AlgorithmParam> CopyRecordAs(const AlgorithmParam* param) {
    if (const auto* typed = dynamic_cast<const Record*>(param)) {
        std::unique_ptr<AlgorithmParam> copy = param->Clone();
        // A derived record that does not clone itself is copied as a Record.
        return dynamic_cast<Record*>(copy.get()) ? std::move(copy) : std::make_unique<Record>(*typed);
    }
    auto record = std::make_unique<Record>();
    if (param)
        static_cast<AlgorithmParam&>(*record) = *param;
    return record;
}
