// Template 6010: the class statistics window, with menu 6020. The table is
// created over the placeholder 6074.
#include "entry/tesseramodule.h"
#include "postclass/CClassesStaticsDlg.h"

namespace {

using D = CClassesStaticsDlg;

DialogTemplate statisticsTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"类别统计";
    d.menuId = D::IDR_MENU;
    d.width = 660;
    d.height = 380;
    d.controls = {
        {ControlKind::Placeholder, D::IDC_TABLE_PLACEHOLDER, L"", 10, 10, 640, 360},
    };
    return d;
}

const TemplateRegistrar registrar(statisticsTemplate());

} // namespace
