#pragma once
// The rows every supervised classification window shares: the input raster
// and sample file choosers and the area-of-interest button at the top, the
// output chooser and the command buttons at the bottom. Each window puts its
// own controls between them, from y = OwnTop (beside the AOI button) or
// y = BelowAoi.

#include "base/wintypes.h"
#include "platform/dialogtemplate.h"

namespace SupervisedLayout {

inline constexpr int LabelX = 14, ListX = 128, ListW = 280, BrowseX = 416, RowH = 24;
inline constexpr int Width = 470;
inline constexpr int OwnTop = 94, BelowAoi = 134;

struct Ids {
    int inputList, inputBrowse, sampleList, sampleBrowse, aoi, outputList, outputBrowse, help;
};

struct Texts {
    const wchar_t* output = L"输出文件:";
    const wchar_t* cancel = L"取消";
    const wchar_t* help = L"帮助";
};

// The template's width and the input, sample and AOI rows.
inline void AddChoosers(DialogTemplate& d, const Ids& ids) {
    d.width = Width;
    d.controls.insert(d.controls.end(),
                      {{ControlKind::Label, -1, L"输入栅格文件", LabelX, 16, 110, RowH},
                       {ControlKind::SortedComboBox, ids.inputList, L"", ListX, 16, ListW, RowH},
                       {ControlKind::Button, ids.inputBrowse, L"...", BrowseX, 16, 40, RowH},
                       {ControlKind::Label, -1, L"输入样本文件", LabelX, 52, 110, RowH},
                       {ControlKind::SortedComboBox, ids.sampleList, L"", ListX, 52, ListW, RowH},
                       {ControlKind::Button, ids.sampleBrowse, L"...", BrowseX, 52, 40, RowH},
                       {ControlKind::Button, ids.aoi, L"样区文件...", LabelX, 92, 110, 28}});
}

// The output row at y and the command buttons below it; the template's
// height follows.
inline void AddOutputAndButtons(DialogTemplate& d, const Ids& ids, int y, const Texts& texts = {}) {
    d.controls.insert(d.controls.end(),
                      {{ControlKind::Label, -1, texts.output, LabelX, y, 110, RowH},
                       {ControlKind::SortedComboBox, ids.outputList, L"", ListX, y, ListW, RowH, CS_EDITABLE},
                       {ControlKind::Button, ids.outputBrowse, L"...", BrowseX, y, 40, RowH},
                       {ControlKind::DefaultButton, IDOK, L"确定", 110, y + 48, 90, 28},
                       {ControlKind::Button, IDCANCEL, texts.cancel, 214, y + 48, 90, 28},
                       {ControlKind::Button, ids.help, texts.help, 318, y + 48, 90, 28}});
    d.height = y + 92;
}

} // namespace SupervisedLayout
