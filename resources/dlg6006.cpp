// Template 6006: the dedicated minimum distance window.
#include "classify/CMinDistanceClassifyDlg.h"
#include "entry/tesseramodule.h"
#include "platform/wintypes.h"

namespace {

using D = CMinDistanceClassifyDlg;

DialogTemplate minimumDistanceTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"最小距离分类";
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
        {ControlKind::Label, -1, L"最大标准差：", labelX, 134, 110, rowH},
        {ControlKind::Edit, D::IDC_MAX_STDDEV, L"", listX, 134, 100, rowH},
        {ControlKind::Label, -1, L"最大距离误差：", 240, 134, 110, rowH},
        {ControlKind::Edit, D::IDC_MAX_DISTANCE_ERROR, L"", 354, 134, 100, rowH},
        {ControlKind::Label, -1, L"输出文件:", labelX, 172, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_OUTPUT_LIST, L"", listX, 172, listW, rowH, CS_EDITABLE},
        {ControlKind::Button, D::IDC_OUTPUT_BROWSE, L"...", browseX, 172, 40, rowH},
        {ControlKind::DefaultButton, IDOK, L"确定", 110, 220, 90, 28},
        {ControlKind::Button, IDCANCEL, L"Cancel", 214, 220, 90, 28},
        {ControlKind::Button, D::IDC_HELP_BUTTON, L"help", 318, 220, 90, 28},
    };
    d.height = 264;
    return d;
}

const TemplateRegistrar registrar(minimumDistanceTemplate());

} // namespace
