#pragma once
// The area-of-interest file (".aif"): polygons in ground coordinates, with an optional
// coordinate reference system. Each polygon is a single ring (its outer boundary, no
// holes), closed implicitly. The text format is described in docs/formats.md.

#include "engine/geometry.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tessera {

struct AifContent {
    std::string crs;                             // WKT on one line or "EPSG:<code>"; empty when unknown
    std::vector<std::vector<CPoint2D>> polygons; // rings without a repeated closing vertex

    bool operator==(const AifContent&) const = default;
};

// Limits the reader enforces (and the writer, so that what it writes reads back).
constexpr std::size_t kAifMaxFileBytes = 64u * 1024u * 1024u;
constexpr std::size_t kAifMinRingVertices = 3;

// The forms of the "crs" line: "EPSG:<code>" (1 to 9 digits) or a one-line WKT (a
// keyword, "[", ..., "]"). Anything else (a file name, a URL, a PROJ string) is refused,
// so that reading an area of interest never opens another file or the network.
enum class AifCrsForm { None, Epsg, Wkt, Refused };
AifCrsForm ClassifyAifCrs(std::string_view crs, int* epsgCode = nullptr);

// Reads the file into out. On failure out is left unchanged and, when error is given,
// it receives a message naming the line and the problem.
bool ReadAifFile(const std::wstring& path, AifContent& out, std::string* error = nullptr);
// Writes content through a temporary file beside path and a rename, so an earlier file
// at path survives any failure. Refuses (false) content the reader would reject: a ring
// with fewer than 3 vertices, a non-finite coordinate, a CRS that is not UTF-8 text.
bool WriteAifFile(const std::wstring& path, const AifContent& content, std::string* error = nullptr);

// The file text of content (empty with an error when content breaks the rules), and
// its parser; used by the file functions, the tests and the fuzz target.
std::string AifToText(const AifContent& content, std::string* error = nullptr);
bool ParseAifText(const std::string& text, AifContent& out, std::string* error = nullptr);

} // namespace tessera
