#pragma once
// Training samples (class signatures) and the sample file (".cif") that holds them.
// The binary layout is described in docs/formats.md.

#include "engine/drawshape.h"

#include <cstdint>
#include <string>
#include <vector>

// One training sample: its name, colour and the pixel statistics under its shapes.
struct ClassifySample {
    static constexpr int kNameLength = 128; // including the terminating zero

    wchar_t m_name[kNameLength] = {};  // zero-terminated
    std::int32_t m_index = 0;          // row number in the sample table, from 1
    std::uint32_t m_colour = 0;        // 0x00BBGGRR, red in the low byte
    std::int32_t m_pixelCount = 0;     // pixels under the shapes
    std::int32_t m_bandCount = 0;      // bands the statistics cover
    std::vector<double> m_min;         // one per band
    std::vector<double> m_max;         // one per band
    std::vector<double> m_mean;        // one per band
    std::vector<double> m_covariance;  // bands x bands, row-major
    std::int32_t m_marker1 = 0;        // the editor sets 1 on save
    std::int32_t m_shapeCount = 0;     // entries of m_shapes (set by the writer and reader)
    std::vector<CDrawShape*> m_shapes; // owned copies
    std::int32_t m_marker2 = 0;        // the editor sets 0 on save
    std::int32_t m_marker3 = 0;        // the editor sets 1 on add and save

    ClassifySample() = default;
    // Copies are deep: the shapes are copied with CDrawShape::CreateCopy.
    ClassifySample(const ClassifySample& other);
    ClassifySample& operator=(const ClassifySample& other);
    ClassifySample(ClassifySample&& other) noexcept;
    ClassifySample& operator=(ClassifySample&& other) noexcept;
    ~ClassifySample();

    ClassifySample* Clone() const { return new ClassifySample(*this); }

    // Name as a wide string (up to the first zero), and a setter that keeps at most
    // kNameLength - 1 characters and zero-fills the rest.
    std::wstring GetName() const;
    void SetName(const std::wstring& name);

    // Deletes the shapes and empties the list (the count follows).
    void ClearShapes();

    // Field by field, shapes compared by type and vertices.
    bool operator==(const ClassifySample& other) const;
};

class CClassifySampleFile {
public:
    // Limits the reader enforces (and the writer, so that what it writes reads back).
    static constexpr std::int32_t kMaxBandCount = 1024;
    static constexpr std::int32_t kMaxSampleCount = 100000;
    static constexpr std::int64_t kMaxTotalShapes = 1000000;
    static constexpr std::uint64_t kMaxFileBytes = 1024ull * 1024u * 1024u;
    static constexpr int kTagLength = 128;

    // Header, in its order in the file.
    wchar_t m_fileTag[kTagLength] = {}; // zero-terminated
    std::int32_t m_version = 0;         // the sample editor writes 100
    std::int32_t m_bandCount = 0;
    std::int32_t m_height = 0;
    std::int32_t m_width = 0;
    double m_xResolution = 0.0;
    double m_yResolution = 0.0;
    std::int32_t m_sampleCount = 0; // set from m_samples by the writer and reader
    std::int32_t m_reservedInt = 0;
    double m_reservedReal1 = 0.0;
    double m_reservedReal2 = 0.0;

    std::vector<ClassifySample*> m_samples; // owned
    std::wstring m_path;                    // last file read or written successfully

    CClassifySampleFile() = default;
    CClassifySampleFile(const CClassifySampleFile& other); // deep copy
    CClassifySampleFile& operator=(const CClassifySampleFile& other);
    CClassifySampleFile(CClassifySampleFile&& other) noexcept;
    CClassifySampleFile& operator=(CClassifySampleFile&& other) noexcept;
    ~CClassifySampleFile();

    // Replaces the header and the samples with the file's and sets m_path. Non-zero on
    // success. On failure the object is left exactly as it was (header, samples and
    // path) and GetLastError() says why.
    int ReadClassifySampleFile(const std::wstring& path);
    // Writes the header and every sample of m_samples through a temporary file beside
    // path and a rename. The sample count written is m_samples.size() and each
    // sample's shape count is its m_shapes.size(); on success m_sampleCount and the
    // samples' m_shapeCount are set from them and m_path is set. Returns 0, changing
    // nothing, when the contents break the file's rules (a null sample or shape, a
    // band count outside 0..kMaxBandCount, statistics not sized by the band count, an
    // unterminated name or tag, too many samples or shapes) or the file cannot be
    // written; an earlier file at path is then untouched.
    int WriteClassifySampleFile(const std::wstring& path);
    const std::string& GetLastError() const { return m_lastError; }

    // Deletes every sample; the sample count becomes 0.
    void ClearSamples();

    std::wstring GetFileTag() const;
    void SetFileTag(const std::wstring& tag); // keeps at most kTagLength - 1 characters

    // Header fields and samples equal (the path is not compared).
    bool operator==(const CClassifySampleFile& other) const;

    // The file bytes of the contents (empty with an error when they break the rules),
    // and their parser; ParseBytes leaves the object untouched on failure and does not
    // set the path. Used by the file functions, the tests and the fuzz targets.
    std::string ToBytes(std::string& error) const;
    bool ParseBytes(std::string_view bytes, std::string& error);

private:
    void Swap(CClassifySampleFile& other) noexcept;

    std::string m_lastError;
};
