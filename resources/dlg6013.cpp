// Template 6013: the class clump window.
#include "base/wintypes.h"
#include "entry/tesseramodule.h"
#include "postclass/CClassesClumpDlg.h"

namespace {

using D = CClassesClumpDlg;

DialogTemplate clumpTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"类别聚类";
    d.width = 520;
    d.height = 380;
    constexpr int rowH = 24;
    d.controls = {
        {ControlKind::Label, -1, L"输入分类后影像", 14, 14, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_INPUT_LIST, L"", 128, 14, 330, rowH},
        {ControlKind::Button, D::IDC_INPUT_BROWSE, L"...", 466, 14, 40, rowH},
        {ControlKind::Label, -1, L"输出聚类后影像", 14, 46, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_OUTPUT_LIST, L"", 128, 46, 330, rowH},
        {ControlKind::Button, D::IDC_OUTPUT_BROWSE, L"...", 466, 46, 40, rowH},
        {ControlKind::Label, -1, L"聚类类别", 14, 82, 200, rowH},
        {ControlKind::MultiListBox, D::IDC_CLASSES, L"", 14, 108, 230, 170},
        {ControlKind::Button, D::IDC_SELECT_ALL, L"选择所有", 14, 286, 110, 28},
        {ControlKind::Button, D::IDC_SELECT_NONE, L"重新选择", 134, 286, 110, 28},
        {ControlKind::GroupBox, -1, L"聚类方式", 262, 82, 244, 110},
        {ControlKind::RadioButton, D::IDC_MODE_HORIZONTAL, L"水平方向", 278, 106, 200, 24, CS_GROUP},
        {ControlKind::RadioButton, D::IDC_MODE_VERTICAL, L"垂直方向", 278, 134, 200, 24},
        {ControlKind::RadioButton, D::IDC_MODE_CUSTOM, L"自定义结构元素", 278, 162, 200, 24},
        {ControlKind::GroupBox, -1, L"", 262, 200, 244, 114, CS_GROUP},
    };
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            d.controls.push_back({ControlKind::CheckBox, D::IDC_BOX_FIRST + r * 3 + c, L"", 330 + c * 40,
                                  216 + r * 30, 24, 24, CS_DISABLED});
    d.controls.push_back({ControlKind::DefaultButton, IDOK, L"确定", 94, 334, 90, 28});
    d.controls.push_back({ControlKind::Button, IDCANCEL, L"取消", 214, 334, 90, 28});
    d.controls.push_back({ControlKind::Button, D::IDC_HELP_BUTTON, L"帮助", 334, 334, 90, 28});
    return d;
}

const TemplateRegistrar registrar(clumpTemplate());

} // namespace
