// Template 6023: the back-propagation neural network classification window.
#include "classify/CBPClassifyDlg.h"
#include "entry/tesseramodule.h"
#include "platform/wintypes.h"

namespace {

using D = CBPClassifyDlg;

DialogTemplate bpTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"BP神经网络";
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
        {ControlKind::Label, -1, L"学习速率:", labelX, 134, 110, rowH},
        {ControlKind::Edit, D::IDC_LEARNING_RATE, L"", listX, 134, 100, rowH},
        {ControlKind::Label, -1, L"最大容错:", 240, 134, 110, rowH},
        {ControlKind::Edit, D::IDC_MAX_ERROR, L"", 354, 134, 100, rowH},
        {ControlKind::Label, -1, L"最大学习次数:", labelX, 170, 110, rowH},
        {ControlKind::Edit, D::IDC_MAX_ITERATIONS, L"", listX, 170, 100, rowH},
        {ControlKind::Label, -1, L"输出文件：", labelX, 210, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_OUTPUT_LIST, L"", listX, 210, listW, rowH, CS_EDITABLE},
        {ControlKind::Button, D::IDC_OUTPUT_BROWSE, L"...", browseX, 210, 40, rowH},
        {ControlKind::DefaultButton, IDOK, L"确定", 110, 258, 90, 28},
        {ControlKind::Button, IDCANCEL, L"取消", 214, 258, 90, 28},
        {ControlKind::Button, D::IDC_HELP_BUTTON, L"帮助", 318, 258, 90, 28},
    };
    d.height = 302;
    return d;
}

const TemplateRegistrar registrar(bpTemplate());

} // namespace
