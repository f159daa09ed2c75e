// Template 6022: the support vector machine classification window.
#include "classify/CSvmClassifyDlg.h"
#include "entry/tesseramodule.h"
#include "platform/wintypes.h"

namespace {

using D = CSvmClassifyDlg;

DialogTemplate svmTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"支持向量机分类";
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
        {ControlKind::Label, -1, L"卷积核类型：", labelX, 134, 110, rowH},
        {ControlKind::ComboBox, D::IDC_KERNEL, L"", listX, 134, 140, rowH},
        {ControlKind::Label, -1, L"核函数偏心率：", labelX, 170, 110, rowH},
        {ControlKind::Edit, D::IDC_COEFFICIENT, L"", listX, 170, 100, rowH},
        {ControlKind::Label, -1, L"核函数Gamma:", 240, 170, 110, rowH},
        {ControlKind::Edit, D::IDC_GAMMA, L"", 354, 170, 100, rowH},
        {ControlKind::Label, -1, L"多项式次数:", labelX, 206, 110, rowH},
        {ControlKind::Edit, D::IDC_DEGREE, L"", listX, 206, 100, rowH},
        {ControlKind::Label, -1, L"输出文件:", labelX, 246, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_OUTPUT_LIST, L"", listX, 246, listW, rowH, CS_EDITABLE},
        {ControlKind::Button, D::IDC_OUTPUT_BROWSE, L"...", browseX, 246, 40, rowH},
        {ControlKind::DefaultButton, IDOK, L"确定", 110, 294, 90, 28},
        {ControlKind::Button, IDCANCEL, L"取消", 214, 294, 90, 28},
        {ControlKind::Button, D::IDC_HELP_BUTTON, L"帮助", 318, 294, 90, 28},
    };
    d.height = 338;
    return d;
}

const TemplateRegistrar registrar(svmTemplate());

} // namespace
