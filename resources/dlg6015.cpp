// Template 6015: the accuracy assessment window (menu 6016), its point table
// over the placeholder 6074.
#include "accuracy/CClassesAccuracyDlg.h"
#include "base/wintypes.h"
#include "entry/tesseramodule.h"

namespace {

using D = CClassesAccuracyDlg;

DialogTemplate accuracyTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"分类精度评价";
    d.menuId = D::IDM;
    d.width = 560;
    d.height = 420;
    constexpr int margin = 12, buttonW = 90, buttonH = 28, gap = 24;
    const int gridH = d.height - 3 * margin - buttonH;
    const int y = margin + gridH + margin;
    d.controls = {
        {ControlKind::Placeholder, D::IDC_GRID_PLACEHOLDER, L"", margin, margin, d.width - 2 * margin, gridH},
        {ControlKind::DefaultButton, IDOK, L"确定", margin, y, buttonW, buttonH},
        {ControlKind::Button, IDCANCEL, L"取消", margin + buttonW + gap, y, buttonW, buttonH},
        {ControlKind::Button, D::IDC_HELP_BUTTON, L"帮助", margin + 2 * (buttonW + gap), y, buttonW, buttonH},
    };
    return d;
}

const TemplateRegistrar registrar(accuracyTemplate());

} // namespace
