// Template 6014: the class filter window.
#include "base/wintypes.h"
#include "entry/tesseramodule.h"
#include "postclass/CClassesFilterDlg.h"

namespace {

using D = CClassesFilterDlg;

DialogTemplate filterTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"类别过滤";
    d.width = 520;
    d.height = 400;
    constexpr int rowH = 24;
    d.controls = {
        {ControlKind::Label, -1, L"输入分类后影像", 14, 14, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_INPUT_LIST, L"", 128, 14, 330, rowH},
        {ControlKind::Button, D::IDC_INPUT_BROWSE, L"...", 466, 14, 40, rowH},
        {ControlKind::Label, -1, L"输出过滤后影像", 14, 46, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_OUTPUT_LIST, L"", 128, 46, 330, rowH},
        {ControlKind::Button, D::IDC_OUTPUT_BROWSE, L"...", 466, 46, 40, rowH},
        {ControlKind::Label, -1, L"输入类别", 14, 82, 200, rowH},
        {ControlKind::MultiListBox, D::IDC_INPUT_CLASSES, L"", 14, 108, 210, 170},
        {ControlKind::Button, D::IDC_ADD_ALL, L">>", 236, 118, 48, 28},
        {ControlKind::Button, D::IDC_ADD, L">", 236, 156, 48, 28},
        {ControlKind::Button, D::IDC_REMOVE, L"<", 236, 194, 48, 28},
        {ControlKind::Button, D::IDC_REMOVE_ALL, L"<<", 236, 232, 48, 28},
        {ControlKind::Label, -1, L"过滤类别", 296, 82, 200, rowH},
        {ControlKind::MultiListBox, D::IDC_FILTER_CLASSES, L"", 296, 108, 210, 170},
        {ControlKind::Label, -1, L"邻域选择", 14, 296, 80, rowH},
        {ControlKind::ComboBox, D::IDC_NEIGHBOURHOOD, L"", 96, 296, 100, rowH},
        {ControlKind::Label, -1, L"过滤阈值", 270, 296, 80, rowH},
        {ControlKind::Edit, D::IDC_THRESHOLD, L"2", 352, 296, 80, rowH},
        {ControlKind::Placeholder, D::IDC_SPIN, L"", 432, 296, 18, rowH},
        {ControlKind::DefaultButton, IDOK, L"确定", 94, 350, 90, 28},
        {ControlKind::Button, IDCANCEL, L"取消", 214, 350, 90, 28},
        {ControlKind::Button, D::IDC_HELP_BUTTON, L"帮助", 334, 350, 90, 28},
    };
    return d;
}

const TemplateRegistrar registrar(filterTemplate());

} // namespace
