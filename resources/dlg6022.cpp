// Template 6022: the support vector machine classification window.
#include "classify/CSvmClassifyDlg.h"
#include "entry/tesseramodule.h"
#include "resources/supervisedlayout.h"

namespace {

using D = CSvmClassifyDlg;
using namespace SupervisedLayout;

DialogTemplate svmTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"支持向量机分类";
    const Ids ids{D::IDC_INPUT_LIST, D::IDC_INPUT_BROWSE, D::IDC_SAMPLE_LIST,   D::IDC_SAMPLE_BROWSE,
                  D::IDC_AOI,        D::IDC_OUTPUT_LIST,  D::IDC_OUTPUT_BROWSE, D::IDC_HELP_BUTTON};
    AddChoosers(d, ids);
    d.controls.insert(d.controls.end(),
                      {
                          {ControlKind::Label, -1, L"卷积核类型：", LabelX, BelowAoi, 110, RowH},
                          {ControlKind::ComboBox, D::IDC_KERNEL, L"", ListX, BelowAoi, 140, RowH},
                          {ControlKind::Label, -1, L"核函数偏心率：", LabelX, BelowAoi + 36, 110, RowH},
                          {ControlKind::Edit, D::IDC_COEFFICIENT, L"", ListX, BelowAoi + 36, 100, RowH},
                          {ControlKind::Label, -1, L"核函数Gamma:", 240, BelowAoi + 36, 110, RowH},
                          {ControlKind::Edit, D::IDC_GAMMA, L"", 354, BelowAoi + 36, 100, RowH},
                          {ControlKind::Label, -1, L"多项式次数:", LabelX, BelowAoi + 72, 110, RowH},
                          {ControlKind::Edit, D::IDC_DEGREE, L"", ListX, BelowAoi + 72, 100, RowH},
                      });
    AddOutputAndButtons(d, ids, BelowAoi + 112);
    return d;
}

const TemplateRegistrar registrar(svmTemplate());

} // namespace
