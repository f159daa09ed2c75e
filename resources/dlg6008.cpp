// Template 6008: the supervised classification window of five kinds. It has
// no title of its own; the kind gives it one.
#include "classify/CDlgSupperviseCommon.h"
#include "entry/tesseramodule.h"
#include "platform/wintypes.h"

namespace {

using D = CDlgSupperviseCommon;

DialogTemplate supervisedTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.width = 470;
    constexpr int labelX = 14, listX = 128, listW = 280, browseX = 416, rowH = 24;
    d.controls = {
        {ControlKind::Label, -1, L"输入栅格文件", labelX, 16, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_INPUT_LIST, L"", listX, 16, listW, rowH},
        {ControlKind::Button, D::IDC_INPUT_BROWSE, L"...", browseX, 16, 40, rowH},
        {ControlKind::Label, -1, L"输入样本文件", labelX, 52, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_SAMPLE_LIST, L"", listX, 52, listW, rowH},
        {ControlKind::Button, D::IDC_SAMPLE_BROWSE, L"...", browseX, 52, 40, rowH},
        {ControlKind::Button, D::IDC_AOI, L"样区文件...", labelX, 92, 110, 28},
        {ControlKind::Label, D::IDC_THRESHOLD_LABEL, L"最小域值:", 170, 94, 120, rowH, CS_RIGHT},
        {ControlKind::Edit, D::IDC_THRESHOLD, L"", 296, 94, 112, rowH},
        {ControlKind::Label, -1, L"输出文件:", labelX, 136, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_OUTPUT_LIST, L"", listX, 136, listW, rowH, CS_EDITABLE},
        {ControlKind::Button, D::IDC_OUTPUT_BROWSE, L"...", browseX, 136, 40, rowH},
        {ControlKind::DefaultButton, IDOK, L"确定", 110, 184, 90, 28},
        {ControlKind::Button, IDCANCEL, L"取消", 214, 184, 90, 28},
        {ControlKind::Button, D::IDC_HELP_BUTTON, L"帮助", 318, 184, 90, 28},
    };
    d.height = 228;
    return d;
}

const TemplateRegistrar registrar(supervisedTemplate());

} // namespace
