#include "engine/aiffile.h"

#include "base/commonfun.h"
#include "engine/formatio.h"

#include <cctype>
#include <cmath>

namespace tessera {

namespace {

constexpr std::string_view kMagicLine = "TESSERA-AIF 1";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool Fail(std::string* error, const std::string& message) {
    if (error)
        *error = message;
    return false;
}

std::string LineError(std::size_t lineNumber, const std::string& what) {
    return "line " + std::to_string(lineNumber) + ": " + what;
}

bool IsSkipped(std::string_view line) {
    return line.empty() || line.front() == '#';
}

} // namespace

AifCrsForm ClassifyAifCrs(std::string_view crs, int* epsgCode) {
    if (crs.empty())
        return AifCrsForm::None;
    if (crs.size() > 5 && (crs.substr(0, 5) == "EPSG:" || crs.substr(0, 5) == "epsg:")) {
        const std::string_view digits = crs.substr(5);
        if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string_view::npos)
            return AifCrsForm::Refused;
        std::int32_t code = 0;
        if (!formatio::ParseInt32(digits, code) || code <= 0)
            return AifCrsForm::Refused;
        if (epsgCode)
            *epsgCode = code;
        return AifCrsForm::Epsg;
    }
    // WKT 1 or 2: KEYWORD[...], the keyword in letters, digits and '_'.
    std::size_t k = 0;
    while (k < crs.size() && (std::isalnum(static_cast<unsigned char>(crs[k])) || crs[k] == '_'))
        ++k;
    if (k == 0 || !std::isalpha(static_cast<unsigned char>(crs[0])) || k >= crs.size() || crs[k] != '[' ||
        crs.back() != ']')
        return AifCrsForm::Refused;
    return AifCrsForm::Wkt;
}

std::string AifToText(const AifContent& content, std::string* error) {
    if (!formatio::IsValidUtf8(content.crs)) {
        Fail(error, "CRS is not UTF-8 text");
        return {};
    }
    if (ClassifyAifCrs(content.crs) == AifCrsForm::Refused) {
        Fail(error, "CRS is neither WKT nor EPSG:<code>");
        return {};
    }
    std::string text;
    text += kMagicLine;
    text += '\n';
    if (!content.crs.empty())
        text += "crs " + formatio::EscapeText(content.crs) + '\n';
    for (std::size_t i = 0; i < content.polygons.size(); ++i) {
        const std::vector<CPoint2D>& ring = content.polygons[i];
        if (ring.size() < kAifMinRingVertices) {
            Fail(error, "polygon " + std::to_string(i + 1) + " has fewer than 3 vertices");
            return {};
        }
        text += "polygon " + std::to_string(ring.size()) + '\n';
        for (const CPoint2D& vertex : ring) {
            if (!std::isfinite(vertex.x) || !std::isfinite(vertex.y)) {
                Fail(error, "polygon " + std::to_string(i + 1) + " has a non-finite coordinate");
                return {};
            }
            text += formatio::FormatDouble(vertex.x) + ' ' + formatio::FormatDouble(vertex.y) + '\n';
        }
    }
    text += "end\n";
    if (text.size() > kAifMaxFileBytes) {
        Fail(error, "file would exceed the size limit");
        return {};
    }
    return text;
}

bool ParseAifText(const std::string& text, AifContent& out, std::string* error) {
    std::string_view body = text;
    if (body.starts_with(kUtf8Bom))
        body.remove_prefix(kUtf8Bom.size());
    if (!formatio::IsValidUtf8(body))
        return Fail(error, "not UTF-8 text");
    const std::vector<std::string_view> lines = formatio::SplitLines(body);
    if (lines.empty() || lines[0] != kMagicLine)
        return Fail(error, "not a Tessera area-of-interest file (first line must be \"" +
                               std::string(kMagicLine) + "\")");

    AifContent parsed;
    bool ended = false;
    bool crsSeen = false;
    std::size_t i = 1;
    while (i < lines.size()) {
        const std::string_view line = lines[i];
        const std::size_t lineNumber = ++i;
        if (IsSkipped(line))
            continue;
        if (ended)
            return Fail(error, LineError(lineNumber, "text after \"end\""));
        std::string_view rest;
        bool separated = false;
        const std::string_view key = formatio::TakeWord(line, rest, separated);
        if (key == "end" && !separated) {
            ended = true;
        } else if (key == "crs" && separated) {
            if (crsSeen || !parsed.polygons.empty())
                return Fail(error, LineError(lineNumber, "\"crs\" must come once, before the polygons"));
            if (!formatio::UnescapeText(rest, parsed.crs))
                return Fail(error, LineError(lineNumber, "malformed escape in the CRS"));
            if (ClassifyAifCrs(parsed.crs) == AifCrsForm::Refused)
                return Fail(error, LineError(lineNumber, "the CRS must be WKT or EPSG:<code>"));
            crsSeen = true;
        } else if (key == "polygon" && separated) {
            std::int64_t count = 0;
            if (!formatio::ParseInt64(rest, count) || count < static_cast<std::int64_t>(kAifMinRingVertices))
                return Fail(error, LineError(lineNumber, "a polygon needs a vertex count of at least 3"));
            // Every vertex takes a line of its own, so the count is bounded by the lines left.
            if (static_cast<std::uint64_t>(count) > lines.size() - i)
                return Fail(error, LineError(lineNumber, "truncated polygon"));
            std::vector<CPoint2D> ring;
            ring.reserve(static_cast<std::size_t>(count));
            while (ring.size() < static_cast<std::size_t>(count)) {
                if (i >= lines.size())
                    return Fail(error, "truncated polygon at the end of the file");
                const std::string_view vertexLine = lines[i];
                const std::size_t vertexLineNumber = ++i;
                if (IsSkipped(vertexLine))
                    continue;
                std::string_view y;
                const std::string_view x = formatio::TakeWord(vertexLine, y, separated);
                CPoint2D vertex;
                if (!separated || !formatio::ParseFiniteDouble(x, vertex.x) ||
                    !formatio::ParseFiniteDouble(y, vertex.y))
                    return Fail(error, LineError(vertexLineNumber, "expected two finite numbers \"x y\""));
                ring.push_back(vertex);
            }
            parsed.polygons.push_back(std::move(ring));
        } else {
            return Fail(error, LineError(lineNumber, "expected \"crs\", \"polygon\" or \"end\""));
        }
    }
    if (!ended)
        return Fail(error, "truncated file: no \"end\" line");
    out = std::move(parsed);
    return true;
}

bool ReadAifFile(const std::wstring& path, AifContent& out, std::string* error) {
    std::string text;
    std::string message;
    if (!formatio::ReadWholeFile(CommonFun::U2M(path), kAifMaxFileBytes, text, message))
        return Fail(error, message);
    return ParseAifText(text, out, error);
}

bool WriteAifFile(const std::wstring& path, const AifContent& content, std::string* error) {
    std::string message;
    const std::string text = AifToText(content, &message);
    if (text.empty() || !formatio::ReplaceFile(CommonFun::U2M(path), text, message))
        return Fail(error, message);
    return true;
}

} // namespace tessera
