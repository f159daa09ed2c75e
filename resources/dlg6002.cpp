// Template 6002: the sample editor, one table filling the window (menu 6005).
#include "entry/tesseramodule.h"
#include "samples/CAoiEditorDlg.h"

namespace {

using D = CAoiEditorDlg;

DialogTemplate sampleEditorTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"样本编辑器";
    d.width = 640;
    d.height = 360;
    d.menuId = D::IDR_MENU;
    d.resizable = true;
    const int m = D::kTableMargin;
    d.controls = {{ControlKind::Grid, D::IDC_SAMPLE_TABLE, L"", m, m, d.width - 2 * m, d.height - 2 * m}};
    return d;
}

const TemplateRegistrar registrar(sampleEditorTemplate());

} // namespace
