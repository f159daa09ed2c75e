// Template 6008: the supervised classification window of five kinds. It has
// no title of its own; the kind gives it one.
#include "classify/CDlgSupperviseCommon.h"
#include "entry/tesseramodule.h"
#include "resources/supervisedlayout.h"

namespace {

using D = CDlgSupperviseCommon;
using namespace SupervisedLayout;

DialogTemplate supervisedTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    const Ids ids{D::IDC_INPUT_LIST, D::IDC_INPUT_BROWSE, D::IDC_SAMPLE_LIST,   D::IDC_SAMPLE_BROWSE,
                  D::IDC_AOI,        D::IDC_OUTPUT_LIST,  D::IDC_OUTPUT_BROWSE, D::IDC_HELP_BUTTON};
    AddChoosers(d, ids);
    d.controls.insert(
        d.controls.end(),
        {
            {ControlKind::Label, D::IDC_THRESHOLD_LABEL, L"最小域值:", 170, OwnTop, 120, RowH, CS_RIGHT},
            {ControlKind::Edit, D::IDC_THRESHOLD, L"", 296, OwnTop, 112, RowH},
        });
    AddOutputAndButtons(d, ids, BelowAoi + 2);
    return d;
}

const TemplateRegistrar registrar(supervisedTemplate());

} // namespace
