#include "engine/classifysamplefile.h"

#include "base/commonfun.h"
#include "engine/formatio.h"

#include <algorithm>
#include <cstring>
#include <utility>

using namespace tessera;

namespace {

// Eight bytes that no text file starts with and that show line-ending or 7-bit damage.
constexpr char kMagic[8] = {'\x89', 'T', 'C', 'I', 'F', '\r', '\n', '\x1A'};
constexpr std::uint32_t kFormatVersion = 1;
constexpr std::size_t kFixedTextBytes = 128 * 4; // 128 UTF-32LE code units
// A sample with no bands and no shapes: name, 4 integers, marker1, shape count, 2 markers.
constexpr std::size_t kMinSampleBytes = kFixedTextBytes + 4 * 4 + 4 + 4 + 4 + 4;
constexpr std::size_t kShapeHeaderBytes = 8;
constexpr std::size_t kVertexBytes = 16;

bool SameBits(double a, double b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool SameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() &&
           (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0);
}

bool Terminated(const wchar_t* text, int length) {
    return std::find(text, text + length, L'\0') != text + length;
}

bool UnicodeUnits(const wchar_t* text, int length) {
    return formatio::IsUnicodeText(std::wstring_view(text, static_cast<std::size_t>(length)));
}

void CopyBounded(wchar_t* target, int length, const std::wstring& text) {
    std::fill(target, target + length, L'\0');
    const std::size_t count = std::min(text.size(), static_cast<std::size_t>(length - 1));
    std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(count), target);
}

// Little-endian encoder.
class Writer {
public:
    void U32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            m_bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    }
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void F64(double v) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        for (int i = 0; i < 8; ++i)
            m_bytes += static_cast<char>((bits >> (8 * i)) & 0xFF);
    }
    void F64s(const std::vector<double>& values) {
        for (const double v : values)
            F64(v);
    }
    void Text(const wchar_t* text) {
        for (int i = 0; i < 128; ++i)
            U32(static_cast<std::uint32_t>(text[i]));
    }
    void Raw(const char* data, std::size_t size) { m_bytes.append(data, size); }
    std::string& Bytes() { return m_bytes; }

private:
    std::string m_bytes;
};

// Little-endian decoder that never reads past its buffer; the first failed read sticks.
class Reader {
public:
    explicit Reader(std::string_view bytes) : m_bytes(bytes) {}

    std::size_t Remaining() const { return m_bytes.size() - m_offset; }
    std::size_t Offset() const { return m_offset; }

    bool U32(std::uint32_t& v) {
        if (Remaining() < 4)
            return false;
        v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<std::uint32_t>(static_cast<unsigned char>(m_bytes[m_offset + i])) << (8 * i);
        m_offset += 4;
        return true;
    }
    bool I32(std::int32_t& v) {
        std::uint32_t u = 0;
        if (!U32(u))
            return false;
        v = static_cast<std::int32_t>(u);
        return true;
    }
    bool F64(double& v) {
        if (Remaining() < 8)
            return false;
        std::uint64_t bits = 0;
        for (int i = 0; i < 8; ++i)
            bits |= static_cast<std::uint64_t>(static_cast<unsigned char>(m_bytes[m_offset + i])) << (8 * i);
        std::memcpy(&v, &bits, sizeof v);
        m_offset += 8;
        return true;
    }
    // Reads count doubles; the caller has bounded count, and it is checked against the
    // bytes left before anything is allocated.
    bool F64s(std::size_t count, std::vector<double>& values) {
        if (count > Remaining() / 8)
            return false;
        values.resize(count);
        for (double& v : values)
            F64(v);
        return true;
    }
    // 128 UTF-32LE code units that must hold Unicode scalar values and a zero.
    bool Text(wchar_t* text) {
        if (Remaining() < kFixedTextBytes)
            return false;
        bool terminated = false;
        for (int i = 0; i < 128; ++i) {
            std::uint32_t unit = 0;
            U32(unit);
            if (unit > 0x10FFFF || (unit >= 0xD800 && unit <= 0xDFFF))
                return false;
            text[i] = static_cast<wchar_t>(unit);
            terminated = terminated || unit == 0;
        }
        return terminated;
    }
    bool Raw(char* data, std::size_t size) {
        if (Remaining() < size)
            return false;
        std::memcpy(data, m_bytes.data() + m_offset, size);
        m_offset += size;
        return true;
    }

private:
    std::string_view m_bytes;
    std::size_t m_offset = 0;
};

std::string At(const Reader& in, const std::string& what) {
    return what + " at byte " + std::to_string(in.Offset());
}

bool ReadShape(Reader& in, CDrawShape*& shape, std::string& error) {
    std::int32_t type = 0;
    std::int32_t vertexCount = 0;
    if (!in.I32(type) || !in.I32(vertexCount)) {
        error = At(in, "truncated shape");
        return false;
    }
    if (type < DRAWSHAPE_POINT || type > DRAWSHAPE_POLYGON) {
        error = At(in, "unknown shape type " + std::to_string(type));
        return false;
    }
    if (vertexCount < 0 || static_cast<std::size_t>(vertexCount) > in.Remaining() / kVertexBytes) {
        error = At(in, "vertex count " + std::to_string(vertexCount) + " does not fit the file");
        return false;
    }
    std::vector<CPoint2D> vertices(static_cast<std::size_t>(vertexCount));
    for (CPoint2D& vertex : vertices) {
        in.F64(vertex.x);
        in.F64(vertex.y);
    }
    shape = new CDrawShape(static_cast<DrawShapeType>(type), std::move(vertices));
    return true;
}

bool ReadSample(Reader& in, ClassifySample& sample, std::int64_t& shapesLeft, std::string& error) {
    if (!in.Text(sample.m_name)) {
        error = At(in, "truncated or malformed sample name");
        return false;
    }
    if (!in.I32(sample.m_index) || !in.U32(sample.m_colour) || !in.I32(sample.m_pixelCount) ||
        !in.I32(sample.m_bandCount)) {
        error = At(in, "truncated sample");
        return false;
    }
    const std::int32_t bands = sample.m_bandCount;
    if (bands < 0 || bands > CClassifySampleFile::kMaxBandCount) {
        error = At(in, "sample band count " + std::to_string(bands) + " outside 0.." +
                           std::to_string(CClassifySampleFile::kMaxBandCount));
        return false;
    }
    const auto n = static_cast<std::size_t>(bands);
    if (!in.F64s(n, sample.m_min) || !in.F64s(n, sample.m_max) || !in.F64s(n, sample.m_mean) ||
        !in.F64s(n * n, sample.m_covariance)) {
        error = At(in, "truncated sample statistics");
        return false;
    }
    std::int32_t shapeCount = 0;
    if (!in.I32(sample.m_marker1) || !in.I32(shapeCount)) {
        error = At(in, "truncated sample");
        return false;
    }
    if (shapeCount < 0 || static_cast<std::size_t>(shapeCount) > in.Remaining() / kShapeHeaderBytes ||
        shapeCount > shapesLeft) {
        error = At(in, "shape count " + std::to_string(shapeCount) + " does not fit the file");
        return false;
    }
    shapesLeft -= shapeCount;
    for (std::int32_t i = 0; i < shapeCount; ++i) {
        CDrawShape* shape = nullptr;
        if (!ReadShape(in, shape, error))
            return false; // the sample owns and deletes the shapes read so far
        sample.m_shapes.push_back(shape);
    }
    sample.m_shapeCount = shapeCount;
    if (!in.I32(sample.m_marker2) || !in.I32(sample.m_marker3)) {
        error = At(in, "truncated sample");
        return false;
    }
    return true;
}

bool CheckSample(const ClassifySample* sample, std::size_t position, std::string& error) {
    const std::string where = "sample " + std::to_string(position + 1) + ": ";
    if (!sample) {
        error = where + "null sample";
        return false;
    }
    if (!Terminated(sample->m_name, ClassifySample::kNameLength) ||
        !UnicodeUnits(sample->m_name, ClassifySample::kNameLength)) {
        error = where + "name is not zero-terminated Unicode text";
        return false;
    }
    const std::int32_t bands = sample->m_bandCount;
    if (bands < 0 || bands > CClassifySampleFile::kMaxBandCount) {
        error = where + "band count " + std::to_string(bands) + " outside 0.." +
                std::to_string(CClassifySampleFile::kMaxBandCount);
        return false;
    }
    const auto n = static_cast<std::size_t>(bands);
    if (sample->m_min.size() != n || sample->m_max.size() != n || sample->m_mean.size() != n ||
        sample->m_covariance.size() != n * n) {
        error = where + "statistics are not sized by the band count " + std::to_string(bands);
        return false;
    }
    for (const CDrawShape* shape : sample->m_shapes) {
        if (!shape) {
            error = where + "null shape";
            return false;
        }
        if (shape->GetType() < DRAWSHAPE_POINT || shape->GetType() > DRAWSHAPE_POLYGON) {
            error = where + "unknown shape type";
            return false;
        }
        if (shape->GetVertices().size() > static_cast<std::size_t>(INT32_MAX)) {
            error = where + "too many vertices";
            return false;
        }
    }
    return true;
}

} // namespace

// ---- ClassifySample ----

ClassifySample::ClassifySample(const ClassifySample& other)
    : m_index(other.m_index), m_colour(other.m_colour), m_pixelCount(other.m_pixelCount),
      m_bandCount(other.m_bandCount), m_min(other.m_min), m_max(other.m_max), m_mean(other.m_mean),
      m_covariance(other.m_covariance), m_marker1(other.m_marker1), m_shapeCount(other.m_shapeCount),
      m_marker2(other.m_marker2), m_marker3(other.m_marker3) {
    std::copy(other.m_name, other.m_name + kNameLength, m_name);
    m_shapes.reserve(other.m_shapes.size());
    for (const CDrawShape* shape : other.m_shapes)
        m_shapes.push_back(CDrawShape::CreateCopy(shape));
}

ClassifySample& ClassifySample::operator=(const ClassifySample& other) {
    if (this != &other) {
        ClassifySample copy(other);
        *this = std::move(copy);
    }
    return *this;
}

ClassifySample::ClassifySample(ClassifySample&& other) noexcept
    : m_index(other.m_index), m_colour(other.m_colour), m_pixelCount(other.m_pixelCount),
      m_bandCount(other.m_bandCount), m_min(std::move(other.m_min)), m_max(std::move(other.m_max)),
      m_mean(std::move(other.m_mean)), m_covariance(std::move(other.m_covariance)),
      m_marker1(other.m_marker1), m_shapeCount(other.m_shapeCount), m_shapes(std::move(other.m_shapes)),
      m_marker2(other.m_marker2), m_marker3(other.m_marker3) {
    std::copy(other.m_name, other.m_name + kNameLength, m_name);
    other.m_shapes.clear();
    other.m_shapeCount = 0;
}

ClassifySample& ClassifySample::operator=(ClassifySample&& other) noexcept {
    if (this != &other) {
        ClearShapes();
        std::copy(other.m_name, other.m_name + kNameLength, m_name);
        m_index = other.m_index;
        m_colour = other.m_colour;
        m_pixelCount = other.m_pixelCount;
        m_bandCount = other.m_bandCount;
        m_min = std::move(other.m_min);
        m_max = std::move(other.m_max);
        m_mean = std::move(other.m_mean);
        m_covariance = std::move(other.m_covariance);
        m_marker1 = other.m_marker1;
        m_shapeCount = other.m_shapeCount;
        m_shapes = std::move(other.m_shapes);
        m_marker2 = other.m_marker2;
        m_marker3 = other.m_marker3;
        other.m_shapes.clear();
        other.m_shapeCount = 0;
    }
    return *this;
}

ClassifySample::~ClassifySample() {
    ClearShapes();
}

std::wstring ClassifySample::GetName() const {
    return std::wstring(m_name, std::find(m_name, m_name + kNameLength, L'\0'));
}

void ClassifySample::SetName(const std::wstring& name) {
    CopyBounded(m_name, kNameLength, name);
}

void ClassifySample::ClearShapes() {
    for (CDrawShape* shape : m_shapes)
        delete shape;
    m_shapes.clear();
    m_shapeCount = 0;
}

bool ClassifySample::operator==(const ClassifySample& other) const {
    if (!std::equal(m_name, m_name + kNameLength, other.m_name) || m_index != other.m_index ||
        m_colour != other.m_colour || m_pixelCount != other.m_pixelCount ||
        m_bandCount != other.m_bandCount || !SameBits(m_min, other.m_min) || !SameBits(m_max, other.m_max) ||
        !SameBits(m_mean, other.m_mean) || !SameBits(m_covariance, other.m_covariance) ||
        m_marker1 != other.m_marker1 || m_shapeCount != other.m_shapeCount || m_marker2 != other.m_marker2 ||
        m_marker3 != other.m_marker3 || m_shapes.size() != other.m_shapes.size())
        return false;
    for (std::size_t i = 0; i < m_shapes.size(); ++i) {
        const CDrawShape* a = m_shapes[i];
        const CDrawShape* b = other.m_shapes[i];
        if (!a || !b) {
            if (a != b)
                return false;
            continue;
        }
        if (a->GetType() != b->GetType() || a->GetVertices().size() != b->GetVertices().size())
            return false;
        for (std::size_t k = 0; k < a->GetVertices().size(); ++k)
            if (!SameBits(a->GetVertices()[k].x, b->GetVertices()[k].x) ||
                !SameBits(a->GetVertices()[k].y, b->GetVertices()[k].y))
                return false;
    }
    return true;
}

// ---- CClassifySampleFile ----

CClassifySampleFile::CClassifySampleFile(const CClassifySampleFile& other)
    : m_version(other.m_version), m_bandCount(other.m_bandCount), m_height(other.m_height),
      m_width(other.m_width), m_xResolution(other.m_xResolution), m_yResolution(other.m_yResolution),
      m_sampleCount(other.m_sampleCount), m_reservedInt(other.m_reservedInt),
      m_reservedReal1(other.m_reservedReal1), m_reservedReal2(other.m_reservedReal2), m_path(other.m_path),
      m_lastError(other.m_lastError) {
    std::copy(other.m_fileTag, other.m_fileTag + kTagLength, m_fileTag);
    m_samples.reserve(other.m_samples.size());
    for (const ClassifySample* sample : other.m_samples)
        m_samples.push_back(sample ? sample->Clone() : nullptr);
}

CClassifySampleFile& CClassifySampleFile::operator=(const CClassifySampleFile& other) {
    if (this != &other) {
        CClassifySampleFile copy(other);
        Swap(copy);
    }
    return *this;
}

CClassifySampleFile::CClassifySampleFile(CClassifySampleFile&& other) noexcept {
    Swap(other);
}

CClassifySampleFile& CClassifySampleFile::operator=(CClassifySampleFile&& other) noexcept {
    if (this != &other) {
        CClassifySampleFile emptied;
        other.Swap(emptied);
        Swap(emptied);
    }
    return *this;
}

CClassifySampleFile::~CClassifySampleFile() {
    ClearSamples();
}

void CClassifySampleFile::Swap(CClassifySampleFile& other) noexcept {
    std::swap_ranges(m_fileTag, m_fileTag + kTagLength, other.m_fileTag);
    std::swap(m_version, other.m_version);
    std::swap(m_bandCount, other.m_bandCount);
    std::swap(m_height, other.m_height);
    std::swap(m_width, other.m_width);
    std::swap(m_xResolution, other.m_xResolution);
    std::swap(m_yResolution, other.m_yResolution);
    std::swap(m_sampleCount, other.m_sampleCount);
    std::swap(m_reservedInt, other.m_reservedInt);
    std::swap(m_reservedReal1, other.m_reservedReal1);
    std::swap(m_reservedReal2, other.m_reservedReal2);
    m_samples.swap(other.m_samples);
    m_path.swap(other.m_path);
    m_lastError.swap(other.m_lastError);
}

void CClassifySampleFile::ClearSamples() {
    for (ClassifySample* sample : m_samples)
        delete sample;
    m_samples.clear();
    m_sampleCount = 0;
}

std::wstring CClassifySampleFile::GetFileTag() const {
    return std::wstring(m_fileTag, std::find(m_fileTag, m_fileTag + kTagLength, L'\0'));
}

void CClassifySampleFile::SetFileTag(const std::wstring& tag) {
    CopyBounded(m_fileTag, kTagLength, tag);
}

bool CClassifySampleFile::operator==(const CClassifySampleFile& other) const {
    if (!std::equal(m_fileTag, m_fileTag + kTagLength, other.m_fileTag) || m_version != other.m_version ||
        m_bandCount != other.m_bandCount || m_height != other.m_height || m_width != other.m_width ||
        !SameBits(m_xResolution, other.m_xResolution) || !SameBits(m_yResolution, other.m_yResolution) ||
        m_sampleCount != other.m_sampleCount || m_reservedInt != other.m_reservedInt ||
        !SameBits(m_reservedReal1, other.m_reservedReal1) ||
        !SameBits(m_reservedReal2, other.m_reservedReal2) || m_samples.size() != other.m_samples.size())
        return false;
    for (std::size_t i = 0; i < m_samples.size(); ++i) {
        const ClassifySample* a = m_samples[i];
        const ClassifySample* b = other.m_samples[i];
        if (a && b ? !(*a == *b) : a != b)
            return false;
    }
    return true;
}

std::string CClassifySampleFile::ToBytes(std::string& error) const {
    if (!Terminated(m_fileTag, kTagLength) || !UnicodeUnits(m_fileTag, kTagLength)) {
        error = "file tag is not zero-terminated Unicode text";
        return {};
    }
    if (m_bandCount < 0 || m_bandCount > kMaxBandCount || m_height < 0 || m_width < 0) {
        error = "header band count, height or width out of range";
        return {};
    }
    if (m_samples.size() > static_cast<std::size_t>(kMaxSampleCount)) {
        error = "too many samples (limit " + std::to_string(kMaxSampleCount) + ")";
        return {};
    }
    std::uint64_t totalShapes = 0;
    std::uint64_t totalBytes = 0;
    for (std::size_t i = 0; i < m_samples.size(); ++i) {
        if (!CheckSample(m_samples[i], i, error))
            return {};
        const ClassifySample& sample = *m_samples[i];
        totalShapes += sample.m_shapes.size();
        const std::uint64_t n = static_cast<std::uint64_t>(sample.m_bandCount);
        totalBytes += kMinSampleBytes + 8 * (3 * n + n * n);
        for (const CDrawShape* shape : sample.m_shapes)
            totalBytes += kShapeHeaderBytes + kVertexBytes * shape->GetVertices().size();
    }
    if (totalShapes > static_cast<std::uint64_t>(kMaxTotalShapes) || totalBytes > kMaxFileBytes - 1024) {
        error = "too many shapes or too much data for one sample file";
        return {};
    }

    Writer out;
    out.Raw(kMagic, sizeof kMagic);
    out.U32(kFormatVersion);
    out.Text(m_fileTag);
    out.I32(m_version);
    out.I32(m_bandCount);
    out.I32(m_height);
    out.I32(m_width);
    out.F64(m_xResolution);
    out.F64(m_yResolution);
    out.I32(static_cast<std::int32_t>(m_samples.size()));
    out.I32(m_reservedInt);
    out.F64(m_reservedReal1);
    out.F64(m_reservedReal2);
    for (const ClassifySample* sample : m_samples) {
        out.Text(sample->m_name);
        out.I32(sample->m_index);
        out.U32(sample->m_colour);
        out.I32(sample->m_pixelCount);
        out.I32(sample->m_bandCount);
        out.F64s(sample->m_min);
        out.F64s(sample->m_max);
        out.F64s(sample->m_mean);
        out.F64s(sample->m_covariance);
        out.I32(sample->m_marker1);
        out.I32(static_cast<std::int32_t>(sample->m_shapes.size()));
        for (const CDrawShape* shape : sample->m_shapes) {
            out.I32(shape->GetType());
            out.I32(static_cast<std::int32_t>(shape->GetVertices().size()));
            for (const CPoint2D& vertex : shape->GetVertices()) {
                out.F64(vertex.x);
                out.F64(vertex.y);
            }
        }
        out.I32(sample->m_marker2);
        out.I32(sample->m_marker3);
    }
    return std::move(out.Bytes());
}

bool CClassifySampleFile::ParseBytes(std::string_view bytes, std::string& error) {
    Reader in(bytes);
    char magic[sizeof kMagic] = {};
    if (!in.Raw(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0) {
        error = "not a Tessera sample file (bad magic)";
        return false;
    }
    std::uint32_t formatVersion = 0;
    if (!in.U32(formatVersion) || formatVersion != kFormatVersion) {
        error = "unsupported sample file format version " + std::to_string(formatVersion);
        return false;
    }
    CClassifySampleFile parsed;
    if (!in.Text(parsed.m_fileTag)) {
        error = At(in, "truncated or malformed file tag");
        return false;
    }
    if (!in.I32(parsed.m_version) || !in.I32(parsed.m_bandCount) || !in.I32(parsed.m_height) ||
        !in.I32(parsed.m_width) || !in.F64(parsed.m_xResolution) || !in.F64(parsed.m_yResolution) ||
        !in.I32(parsed.m_sampleCount) || !in.I32(parsed.m_reservedInt) || !in.F64(parsed.m_reservedReal1) ||
        !in.F64(parsed.m_reservedReal2)) {
        error = At(in, "truncated header");
        return false;
    }
    if (parsed.m_bandCount < 0 || parsed.m_bandCount > kMaxBandCount || parsed.m_height < 0 ||
        parsed.m_width < 0) {
        error = "header band count, height or width out of range";
        return false;
    }
    const std::int32_t count = parsed.m_sampleCount;
    if (count < 0 || count > kMaxSampleCount ||
        static_cast<std::size_t>(count) > in.Remaining() / kMinSampleBytes) {
        error = "sample count " + std::to_string(count) + " outside 0.." + std::to_string(kMaxSampleCount) +
                " or larger than the file can hold";
        return false;
    }
    std::int64_t shapesLeft = kMaxTotalShapes;
    parsed.m_samples.reserve(static_cast<std::size_t>(count));
    for (std::int32_t i = 0; i < count; ++i) {
        auto* sample = new ClassifySample;
        parsed.m_samples.push_back(sample); // owned by parsed from here on
        if (!ReadSample(in, *sample, shapesLeft, error)) {
            error = "sample " + std::to_string(i + 1) + ": " + error;
            return false;
        }
    }
    if (in.Remaining() != 0) {
        error = At(in, std::to_string(in.Remaining()) + " unexpected bytes after the last sample");
        return false;
    }
    parsed.m_path = m_path;
    parsed.m_lastError.clear();
    Swap(parsed);
    return true;
}

int CClassifySampleFile::ReadClassifySampleFile(const std::wstring& path) {
    std::string bytes;
    std::string error;
    if (!formatio::ReadWholeFile(CommonFun::U2M(path), kMaxFileBytes, bytes, error) ||
        !ParseBytes(bytes, error)) {
        m_lastError = error;
        return 0;
    }
    m_path = path;
    return 1;
}

int CClassifySampleFile::WriteClassifySampleFile(const std::wstring& path) {
    std::string error;
    const std::string bytes = ToBytes(error);
    if (bytes.empty() || !formatio::ReplaceFile(CommonFun::U2M(path), bytes, error)) {
        m_lastError = error;
        return 0;
    }
    m_sampleCount = static_cast<std::int32_t>(m_samples.size());
    for (ClassifySample* sample : m_samples)
        sample->m_shapeCount = static_cast<std::int32_t>(sample->m_shapes.size());
    m_path = path;
    m_lastError.clear();
    return 1;
}
