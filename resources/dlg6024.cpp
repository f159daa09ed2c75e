// Template 6024: the random forest classification window.
#include "classify/CRandomForestDlg.h"
#include "entry/tesseramodule.h"
#include "resources/supervisedlayout.h"

namespace {

using D = CRandomForestDlg;
using namespace SupervisedLayout;

DialogTemplate forestTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"随机森林分类";
    const Ids ids{D::IDC_INPUT_LIST, D::IDC_INPUT_BROWSE, D::IDC_SAMPLE_LIST,   D::IDC_SAMPLE_BROWSE,
                  D::IDC_AOI,        D::IDC_OUTPUT_LIST,  D::IDC_OUTPUT_BROWSE, D::IDC_HELP_BUTTON};
    AddChoosers(d, ids);
    d.controls.insert(d.controls.end(),
                      {
                          {ControlKind::Label, -1, L"决策树数目:", LabelX, BelowAoi, 110, RowH},
                          {ControlKind::Edit, D::IDC_TREES, L"", ListX, BelowAoi, 100, RowH},
                          {ControlKind::Label, -1, L"最大树深度:", 240, BelowAoi, 110, RowH},
                          {ControlKind::Edit, D::IDC_MAX_DEPTH, L"", 354, BelowAoi, 100, RowH},
                      });
    AddOutputAndButtons(d, ids, BelowAoi + 40, Texts{L"输出文件："});
    return d;
}

const TemplateRegistrar registrar(forestTemplate());

} // namespace
