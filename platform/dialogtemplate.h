#pragma once
// Dialog and menu templates: what a window is built from, identified by a
// number as the windows know them (6000, 6002, ...). Each library keeps its
// templates in its module state (modulestate.h); resources/ registers them.
// Geometry is in pixels of the dialog's client area, below its menu bar.

#include <string>
#include <vector>

enum class ControlKind {
    Label,         // static text
    Edit,          // single-line edit field
    Button,        // push button
    DefaultButton, // push button taking Enter
    CheckBox,
    RadioButton, // exclusive with the radio buttons after the last group start
    ComboBox,    // drop-down list (XComboBox)
    SortedComboBox,
    ListBox,      // XListBox, single selection
    MultiListBox, // XListBox, extended selection
    SortedListBox,
    GroupBox,
    Placeholder, // an empty frame whose area a window takes for a control of its own
    Grid,        // a CGridCtrl
};

// Style bits of a control.
constexpr unsigned CS_GROUP = 0x1;     // starts a new radio group
constexpr unsigned CS_DISABLED = 0x2;  // created disabled
constexpr unsigned CS_HIDDEN = 0x4;    // created hidden
constexpr unsigned CS_READONLY = 0x8;  // read-only edit
constexpr unsigned CS_RIGHT = 0x10;    // right-aligned text
constexpr unsigned CS_EDITABLE = 0x20; // a drop-down list with an edit part

struct ControlTemplate {
    ControlKind kind = ControlKind::Label;
    int id = 0; // -1 for static texts nobody addresses
    std::wstring text;
    int x = 0, y = 0, width = 0, height = 0;
    unsigned style = 0;
};

struct DialogTemplate {
    int id = 0;
    std::wstring title;
    int width = 0, height = 0; // client area, without the menu bar
    int menuId = 0;            // 0: no menu
    bool resizable = false;
    std::vector<ControlTemplate> controls;
};

struct MenuItemTemplate {
    std::wstring text; // may hold "&" mnemonics and "\t" followed by a shortcut text (not bound)
    int id = 0;        // command number; 0 with an empty text is a separator
    std::vector<MenuItemTemplate> children; // a pop-up when not empty

    static MenuItemTemplate Separator() { return {}; }
};

struct MenuTemplate {
    int id = 0;
    std::vector<MenuItemTemplate> items; // the menu bar's entries
};
