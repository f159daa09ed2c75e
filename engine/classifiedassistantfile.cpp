#include "engine/classifiedassistantfile.h"

#include "base/commonfun.h"
#include "engine/formatio.h"

#include <sys/stat.h>

#include <cmath>

using namespace tessera;

namespace {

constexpr std::string_view kMagicLine = "TESSERA-ACF 1";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

std::string LineError(std::size_t lineNumber, const std::string& what) {
    return "line " + std::to_string(lineNumber) + ": " + what;
}

// "class <number> <reserved> <pixels> <colour> <name>"; the name is the rest of the line.
bool ParseClassLine(std::string_view rest, ClassRecord& record, std::string& what) {
    std::string_view fields[4];
    for (std::string_view& field : fields) {
        bool separated = false;
        field = formatio::TakeWord(rest, rest, separated);
        if (!separated) {
            what = "a class line needs number, reserved value, pixel count, colour and name";
            return false;
        }
    }
    std::int64_t pixels = 0;
    if (!formatio::ParseInt32(fields[0], record.m_classNumber) ||
        !formatio::ParseInt32(fields[1], record.m_reserved) || !formatio::ParseInt64(fields[2], pixels) ||
        !formatio::ParseUint32Hex(fields[3], record.m_colour)) {
        what = "malformed number in a class line";
        return false;
    }
    if (pixels < 0) {
        what = "negative pixel count";
        return false;
    }
    record.m_pixelCount = pixels;
    std::string name;
    if (!formatio::UnescapeText(rest, name)) {
        what = "malformed escape in a class name";
        return false;
    }
    record.m_name = CommonFun::M2U(name);
    return true;
}

} // namespace

CClassifiedAssistantFile::CClassifiedAssistantFile(const CClassifiedAssistantFile& other)
    : m_pixelSizeX(other.m_pixelSizeX), m_pixelSizeY(other.m_pixelSizeY), m_lastError(other.m_lastError) {
    for (const ClassRecord* record : other.m_records)
        AddClass(*record);
}

CClassifiedAssistantFile& CClassifiedAssistantFile::operator=(const CClassifiedAssistantFile& other) {
    if (this != &other) {
        CClassifiedAssistantFile copy(other);
        *this = std::move(copy);
    }
    return *this;
}

ClassRecord* CClassifiedAssistantFile::GetClassRecord(int index) const {
    if (index < 0 || index >= GetClassCount())
        return nullptr;
    return m_records[static_cast<std::size_t>(index)];
}

ClassRecord* CClassifiedAssistantFile::AddClass(const std::wstring& name, int classNumber,
                                                std::int64_t pixelCount, std::uint32_t colour, int reserved) {
    ClassRecord record;
    record.m_name = name;
    record.m_classNumber = classNumber;
    record.m_reserved = reserved;
    record.m_pixelCount = pixelCount;
    record.m_colour = colour;
    return AddClass(record);
}

ClassRecord* CClassifiedAssistantFile::AddClass(const ClassRecord& record) {
    m_storage.push_back(std::make_unique<ClassRecord>(record));
    m_records.push_back(m_storage.back().get());
    return m_records.back();
}

void CClassifiedAssistantFile::Clear() {
    m_records.clear();
    m_storage.clear();
    m_pixelSizeX = 0.0;
    m_pixelSizeY = 0.0;
}

bool CClassifiedAssistantFile::operator==(const CClassifiedAssistantFile& other) const {
    if (m_pixelSizeX != other.m_pixelSizeX || m_pixelSizeY != other.m_pixelSizeY ||
        m_records.size() != other.m_records.size())
        return false;
    for (std::size_t i = 0; i < m_records.size(); ++i)
        if (!(*m_records[i] == *other.m_records[i]))
            return false;
    return true;
}

std::string CClassifiedAssistantFile::ToText() const {
    std::string text;
    text += kMagicLine;
    text += '\n';
    text += "pixel-size " + formatio::FormatDouble(m_pixelSizeX) + ' ' +
            formatio::FormatDouble(m_pixelSizeY) + '\n';
    text += "class-count " + std::to_string(m_records.size()) + '\n';
    for (const ClassRecord* record : m_records) {
        text += "class " + std::to_string(record->m_classNumber) + ' ' + std::to_string(record->m_reserved) +
                ' ' + std::to_string(record->m_pixelCount) + ' ' + formatio::FormatHex32(record->m_colour) +
                ' ' + formatio::EscapeText(CommonFun::U2M(record->m_name)) + '\n';
    }
    text += "end\n";
    return text;
}

bool CClassifiedAssistantFile::ParseText(const std::string& text, std::string& error) {
    std::string_view body = text;
    if (body.starts_with(kUtf8Bom))
        body.remove_prefix(kUtf8Bom.size());
    if (!formatio::IsValidUtf8(body)) {
        error = "not UTF-8 text";
        return false;
    }
    const std::vector<std::string_view> lines = formatio::SplitLines(body);
    if (lines.empty() || lines[0] != kMagicLine) {
        error = "not a Tessera assistant file (first line must be \"" + std::string(kMagicLine) + "\")";
        return false;
    }

    // Expected order: pixel-size, class-count, the class lines, end.
    enum class Next { PixelSize, ClassCount, Classes, Nothing };
    Next next = Next::PixelSize;
    CClassifiedAssistantFile parsed;
    std::int64_t declared = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string_view line = lines[i];
        const std::size_t lineNumber = i + 1;
        if (line.empty() || line.front() == '#')
            continue;
        std::string_view rest;
        bool separated = false;
        const std::string_view key = formatio::TakeWord(line, rest, separated);
        if (next == Next::PixelSize) {
            if (key != "pixel-size") {
                error = LineError(lineNumber, "expected \"pixel-size\"");
                return false;
            }
            const std::string_view x = formatio::TakeWord(rest, rest, separated);
            if (!separated || !formatio::ParseFiniteDouble(x, parsed.m_pixelSizeX) ||
                !formatio::ParseFiniteDouble(rest, parsed.m_pixelSizeY)) {
                error = LineError(lineNumber, "pixel size needs two finite numbers");
                return false;
            }
            next = Next::ClassCount;
        } else if (next == Next::ClassCount) {
            if (key != "class-count" || !formatio::ParseInt64(rest, declared) || declared < 0 ||
                declared > kMaxClassCount) {
                error = LineError(lineNumber, "expected \"class-count\" with a count from 0 to " +
                                                  std::to_string(kMaxClassCount));
                return false;
            }
            next = Next::Classes;
        } else if (next == Next::Classes) {
            if (key == "end" && !separated) {
                if (parsed.GetClassCount() != declared) {
                    error =
                        LineError(lineNumber, "class count " + std::to_string(declared) + " but " +
                                                  std::to_string(parsed.GetClassCount()) + " class lines");
                    return false;
                }
                next = Next::Nothing;
                continue;
            }
            if (key != "class") {
                error = LineError(lineNumber, "expected \"class\" or \"end\"");
                return false;
            }
            if (parsed.GetClassCount() >= declared) {
                error = LineError(lineNumber, "more class lines than the class count");
                return false;
            }
            ClassRecord record;
            std::string what;
            if (!separated || !ParseClassLine(rest, record, what)) {
                error = LineError(lineNumber, separated ? what : "empty class line");
                return false;
            }
            parsed.AddClass(record);
        } else {
            error = LineError(lineNumber, "text after \"end\"");
            return false;
        }
    }
    if (next != Next::Nothing) {
        error = "truncated file: no \"end\" line";
        return false;
    }
    parsed.m_lastError.clear();
    *this = std::move(parsed);
    return true;
}

bool CClassifiedAssistantFile::ReadClassifiedAssistantFile(const std::wstring& path) {
    std::string text;
    std::string error;
    if (!formatio::ReadWholeFile(CommonFun::U2M(path), kMaxFileBytes, text, error) ||
        !ParseText(text, error)) {
        Clear();
        m_lastError = error;
        return false;
    }
    m_lastError.clear();
    return true;
}

bool CClassifiedAssistantFile::WriteClassifiedAssistantFile(const std::wstring& path) const {
    if (GetClassCount() > kMaxClassCount) {
        m_lastError = "too many classes (limit " + std::to_string(kMaxClassCount) + ")";
        return false;
    }
    if (!std::isfinite(m_pixelSizeX) || !std::isfinite(m_pixelSizeY)) {
        m_lastError = "pixel size is not finite";
        return false;
    }
    for (const ClassRecord* record : m_records) {
        if (record->m_pixelCount < 0) {
            m_lastError = "negative pixel count";
            return false;
        }
        if (!formatio::IsUnicodeText(record->m_name)) {
            m_lastError = "class name is not Unicode text";
            return false;
        }
    }
    const std::string text = ToText();
    if (text.size() > kMaxFileBytes) {
        m_lastError = "file would exceed the size limit";
        return false;
    }
    std::string error;
    if (!formatio::ReplaceFile(CommonFun::U2M(path), text, error)) {
        m_lastError = error;
        return false;
    }
    m_lastError.clear();
    return true;
}

std::wstring PairedAssistantFilePath(const std::wstring& imagePath) {
    const size_t dot = imagePath.rfind(L'.');
    return (dot == std::wstring::npos ? imagePath : imagePath.substr(0, dot)) + L".acf";
}

bool AssistantFileExists(const std::wstring& imagePath) {
    const std::string narrow = CommonFun::U2M(PairedAssistantFilePath(imagePath));
    struct stat info {};
    return ::stat(narrow.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}
