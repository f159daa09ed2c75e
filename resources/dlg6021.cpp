// Template 6021: the random point dialog of the accuracy assessment window.
#include "accuracy/CAddRandomPointDlg.h"
#include "base/wintypes.h"
#include "entry/tesseramodule.h"

namespace {

using D = CAddRandomPointDlg;

DialogTemplate randomPointTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"增加随机点";
    d.width = 360;
    d.height = 270;
    constexpr int rowH = 24;
    d.controls = {
        {ControlKind::Label, -1, L"随机点数量:", 16, 14, 120, rowH},
        {ControlKind::Edit, D::IDC_POINT_COUNT, L"256", 140, 14, 120, rowH},
        {ControlKind::GroupBox, -1, L"      随机点分布参数设置", 12, 48, 336, 128},
        {ControlKind::RadioButton, D::IDC_DIST_RANDOM, L"无规则随机", 32, 74, 150, 22, CS_GROUP},
        {ControlKind::RadioButton, D::IDC_DIST_PROPORTIONAL, L"类别比例随机", 32, 104, 150, 22, CS_DISABLED},
        {ControlKind::RadioButton, D::IDC_DIST_EQUAL, L"类别均等随机", 32, 134, 150, 22, CS_DISABLED},
        {ControlKind::Button, D::IDC_VIEW_CLASSES, L"查看类别", 226, 104, 100, 28, CS_DISABLED},
        {ControlKind::Label, -1, L"最大搜索点数:", 16, 190, 120, rowH},
        {ControlKind::Edit, D::IDC_MAX_SEARCH, L"1024", 140, 190, 120, rowH},
        {ControlKind::DefaultButton, IDOK, L"确定", 150, 232, 90, 28},
        {ControlKind::Button, IDCANCEL, L"取消", 256, 232, 90, 28},
    };
    return d;
}

const TemplateRegistrar registrar(randomPointTemplate());

} // namespace
