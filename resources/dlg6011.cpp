// Template 6011: the class merge window.
#include "base/wintypes.h"
#include "entry/tesseramodule.h"
#include "postclass/CClassesMergeDlg.h"

namespace {

using D = CClassesMergeDlg;

DialogTemplate mergeTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"类别合并";
    d.width = 520;
    d.height = 470;
    constexpr int rowH = 24;
    d.controls = {
        {ControlKind::Label, -1, L"输入分类后影像", 14, 14, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_INPUT_LIST, L"", 128, 14, 330, rowH},
        {ControlKind::Button, D::IDC_INPUT_BROWSE, L"...", 466, 14, 40, rowH},
        {ControlKind::Label, -1, L"输出合并后影像", 14, 46, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_OUTPUT_LIST, L"", 128, 46, 330, rowH},
        {ControlKind::Button, D::IDC_OUTPUT_BROWSE, L"...", 466, 46, 40, rowH},
        {ControlKind::Label, -1, L"选择输入类别:", 14, 82, 200, rowH},
        {ControlKind::ListBox, D::IDC_INPUT_CLASSES, L"", 14, 108, 236, 130},
        {ControlKind::Label, -1, L"选择输出类别:", 270, 82, 200, rowH},
        {ControlKind::ListBox, D::IDC_OUTPUT_CLASSES, L"", 270, 108, 236, 130},
        {ControlKind::Label, -1, L"输入类别：", 14, 248, 80, rowH},
        {ControlKind::Label, D::IDC_INPUT_CLASS_NAME, L"Static", 96, 248, 154, rowH},
        {ControlKind::Label, -1, L"输出类别：", 270, 248, 80, rowH},
        {ControlKind::Label, D::IDC_OUTPUT_CLASS_NAME, L"Static", 352, 248, 154, rowH},
        {ControlKind::Button, D::IDC_ADD_MERGE, L"加入合并", 210, 280, 100, 28},
        {ControlKind::GroupBox, -1, L"合并类别信息", 14, 316, 492, 100},
        {ControlKind::SortedListBox, D::IDC_MERGE_LIST, L"", 24, 338, 472, 70},
        {ControlKind::DefaultButton, IDOK, L"确定", 94, 428, 90, 28},
        {ControlKind::Button, IDCANCEL, L"取消", 214, 428, 90, 28},
        {ControlKind::Button, D::IDC_HELP_BUTTON, L"帮助", 334, 428, 90, 28},
    };
    return d;
}

const TemplateRegistrar registrar(mergeTemplate());

} // namespace
