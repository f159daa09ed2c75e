#pragma once
// Small helpers of the common base library: text conversion and path pieces.
// Paths are wide strings throughout the windows; GDAL and the C runtime take
// narrow ones, and the narrow encoding here is UTF-8 (what Linux file systems
// and GDAL expect).

#include <string>

class CommonFun {
public:
    // Wide text to the narrow (UTF-8) encoding. Unpaired surrogates and
    // values outside Unicode become U+FFFD.
    static std::string U2M(const std::wstring& text);
    static std::string U2M(const wchar_t* text);
    // UTF-8 to wide text; malformed sequences become U+FFFD.
    static std::wstring M2U(const std::string& text);

    // Integer value of a decimal text, as the C runtime's _wtoi reads it:
    // leading blanks, an optional sign, then digits up to the first other
    // character. No digit gives 0; values beyond int are clamped.
    static int wsting2int(const std::wstring& text);

    // Extension of the file name without its dot ("a/b.c/d.shp" gives "shp");
    // empty when the file name has no dot. Dots in folder names do not count.
    static std::wstring GetExtensionName(const std::wstring& path);

    // Folder part of a path ("/data/out/x.tif" gives "/data/out"), with a
    // trailing separator when withSeparator is true ("/data/out/"). A bare
    // file name gives "" (or "./" with the separator).
    static std::wstring GetFileDirectory(const wchar_t* path, bool withSeparator);

    // File name without its folder and without its extension
    // ("/data/out/x.tif" gives "x"; "/a.b/c" gives "c").
    static std::wstring GetFileName(const wchar_t* path);
};
