// Template 6009: the classification vectorize window.
#include "base/wintypes.h"
#include "entry/tesseramodule.h"
#include "postclass/CClassifyVectorizeDlg.h"

namespace {

using D = CClassifyVectorizeDlg;

DialogTemplate vectorizeTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"分类矢量化";
    d.width = 470;
    constexpr int rowH = 24, listTop = 116, listH = 200, listW = 180, moveX = 204, moveW = 62;
    d.controls = {
        {ControlKind::Label, -1, L"输入分类后影像", 14, 14, 110, rowH},
        {ControlKind::ComboBox, D::IDC_INPUT_LIST, L"", 128, 14, 280, rowH},
        {ControlKind::Button, D::IDC_INPUT_BROWSE, L"...", 416, 14, 40, rowH},
        {ControlKind::Label, -1, L"输出矢量化文件", 14, 48, 110, rowH},
        {ControlKind::ComboBox, D::IDC_OUTPUT_LIST, L"", 128, 48, 280, rowH},
        {ControlKind::Button, D::IDC_OUTPUT_BROWSE, L"...", 416, 48, 40, rowH},
        {ControlKind::Label, -1, L"输入类别：", 14, 88, listW, rowH},
        // Both class lists show their entries sorted; the window inserts in order.
        {ControlKind::MultiListBox, D::IDC_INPUT_CLASSES, L"", 14, listTop, listW, listH},
        {ControlKind::Button, D::IDC_ADD_SELECTED, L">", moveX, listTop + 20, moveW, 28},
        {ControlKind::Button, D::IDC_ADD_ALL, L">>", moveX, listTop + 60, moveW, 28},
        {ControlKind::Button, D::IDC_REMOVE_SELECTED, L"<", moveX, listTop + 100, moveW, 28},
        {ControlKind::Button, D::IDC_REMOVE_ALL, L"<<", moveX, listTop + 140, moveW, 28},
        {ControlKind::Label, -1, L" 矢量化类别：", 276, 88, listW, rowH},
        {ControlKind::MultiListBox, D::IDC_CHOSEN_CLASSES, L"", 276, listTop, listW, listH},
    };
    const int y = listTop + listH + 20;
    constexpr int buttonW = 90, buttonH = 28;
    d.controls.push_back({ControlKind::DefaultButton, IDOK, L"确定", 66, y, buttonW, buttonH});
    d.controls.push_back({ControlKind::Button, IDCANCEL, L"取消", 190, y, buttonW, buttonH});
    d.controls.push_back({ControlKind::Button, D::IDC_HELP_BUTTON, L"帮助", 314, y, buttonW, buttonH});
    d.height = y + buttonH + 16;
    return d;
}

const TemplateRegistrar registrar(vectorizeTemplate());

} // namespace
