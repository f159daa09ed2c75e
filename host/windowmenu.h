#pragma once
// The library's windows as the host offers them: one entry per window entry
// point of CTesseraUILib, listed in one table (windowmenu.cpp).

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

// Every window, in menu order.
const std::vector<WindowEntry>& LibraryWindows();
