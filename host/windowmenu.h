#pragma once
// The library's windows as the host offers them: one entry per window entry
// point of CTesseraUILib, listed in one table (windowmenu.cpp). An entry
// whose entry point this build of the library lacks is left out, so the host
// opens exactly the windows that exist.

#include <functional>
#include <string>
#include <vector>

class IControlerInterface;

struct WindowEntry {
    std::string galleryName; // the window's class, plus the kind where one class serves several
    std::wstring title;      // menu text: the window's title
    int group = 0;           // menu section (a separator between sections)
    std::function<void(IControlerInterface*)> open;
};

// Entries whose entry point exists, in table order.
const std::vector<WindowEntry>& LibraryWindows();
// Entry points of the table that this build lacks.
const std::vector<std::string>& MissingLibraryWindows();
