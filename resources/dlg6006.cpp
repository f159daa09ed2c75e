// Template 6006: the dedicated minimum distance window.
#include "classify/CMinDistanceClassifyDlg.h"
#include "entry/tesseramodule.h"
#include "resources/supervisedlayout.h"

namespace {

using D = CMinDistanceClassifyDlg;
using namespace SupervisedLayout;

DialogTemplate minimumDistanceTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"最小距离分类";
    const Ids ids{D::IDC_INPUT_LIST, D::IDC_INPUT_BROWSE, D::IDC_SAMPLE_LIST,   D::IDC_SAMPLE_BROWSE,
                  D::IDC_AOI,        D::IDC_OUTPUT_LIST,  D::IDC_OUTPUT_BROWSE, D::IDC_HELP_BUTTON};
    AddChoosers(d, ids);
    d.controls.insert(d.controls.end(),
                      {
                          {ControlKind::Label, -1, L"最大标准差：", LabelX, BelowAoi, 110, RowH},
                          {ControlKind::Edit, D::IDC_MAX_STDDEV, L"", ListX, BelowAoi, 100, RowH},
                          {ControlKind::Label, -1, L"最大距离误差：", 240, BelowAoi, 110, RowH},
                          {ControlKind::Edit, D::IDC_MAX_DISTANCE_ERROR, L"", 354, BelowAoi, 100, RowH},
                      });
    AddOutputAndButtons(d, ids, BelowAoi + 38, Texts{L"输出文件:", L"Cancel", L"help"});
    return d;
}

const TemplateRegistrar registrar(minimumDistanceTemplate());

} // namespace
