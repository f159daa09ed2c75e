#pragma once

#include "entry/tesseraexport.h"

#include <string>

class TESSERAUI_API CUICommonFun {
public:
    // Replaces the extension of a file name in place. The new extension is
    // given without its dot. The characters of the new extension overwrite
    // those after the last dot one by one, growing the name where the new
    // extension is longer; characters of a longer old extension beyond the
    // new one's length stay ("a.tiff" with "cif" gives "a.ciff"). An empty
    // new extension leaves the name as it is.
    //
    // Only the file name is searched for the dot: a dot in a folder name is
    // not an extension. A name whose file part has no dot gets "." and the
    // new extension appended ("/d.x/name" with "cif" gives "/d.x/name.cif").
    static void CONVERT_EXTNAME(std::wstring& name, std::wstring extension);
};
