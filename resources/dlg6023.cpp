// Template 6023: the BP neural network classification window.
#include "classify/CBPClassifyDlg.h"
#include "entry/tesseramodule.h"
#include "resources/supervisedlayout.h"

namespace {

using D = CBPClassifyDlg;
using namespace SupervisedLayout;

DialogTemplate bpTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"BP神经网络";
    const Ids ids{D::IDC_INPUT_LIST, D::IDC_INPUT_BROWSE, D::IDC_SAMPLE_LIST,   D::IDC_SAMPLE_BROWSE,
                  D::IDC_AOI,        D::IDC_OUTPUT_LIST,  D::IDC_OUTPUT_BROWSE, D::IDC_HELP_BUTTON};
    AddChoosers(d, ids);
    d.controls.insert(d.controls.end(),
                      {
                          {ControlKind::Label, -1, L"学习速率:", LabelX, BelowAoi, 110, RowH},
                          {ControlKind::Edit, D::IDC_LEARNING_RATE, L"", ListX, BelowAoi, 100, RowH},
                          {ControlKind::Label, -1, L"最大容错:", 240, BelowAoi, 110, RowH},
                          {ControlKind::Edit, D::IDC_MAX_ERROR, L"", 354, BelowAoi, 100, RowH},
                          {ControlKind::Label, -1, L"最大学习次数:", LabelX, BelowAoi + 36, 110, RowH},
                          {ControlKind::Edit, D::IDC_MAX_ITERATIONS, L"", ListX, BelowAoi + 36, 100, RowH},
                      });
    AddOutputAndButtons(d, ids, BelowAoi + 76, Texts{L"输出文件："});
    return d;
}

const TemplateRegistrar registrar(bpTemplate());

} // namespace
