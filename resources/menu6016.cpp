// Menu 6016 of the accuracy assessment window. Shortcut texts follow a tab;
// they are not bound to keys.
#include "accuracy/CClassesAccuracyDlg.h"
#include "entry/tesseramodule.h"

namespace {

using D = CClassesAccuracyDlg;

MenuTemplate accuracyMenu() {
    MenuTemplate m;
    m.id = D::IDM;
    m.items = {
        {L"文件(&F)",
         0,
         {{L"打开分类影像...\tCtrl+O", D::ID_FILE_OPEN, {}},
          {L"保存为...", D::ID_FILE_SAVE_AS, {}},
          MenuItemTemplate::Separator(),
          {L"关闭(&C)\tCtrl+C", D::ID_FILE_CLOSE, {}}}},
        {L"编辑(&E)",
         0,
         {{L"产生随机点\\增加随机点", D::ID_EDIT_RANDOM_POINTS, {}},
          MenuItemTemplate::Separator(),
          {L"显示类别", D::ID_EDIT_SHOW_CLASSES, {}},
          {L"隐藏类别", D::ID_EDIT_HIDE_CLASSES, {}}}},
        {L"视窗(&V)",
         0,
         {{L"显示所有点", D::ID_VIEW_SHOW_ALL, {}},
          {L"隐藏所有点", D::ID_VIEW_HIDE_ALL, {}},
          {L"显示当前选择的点", D::ID_VIEW_SHOW_SELECTED, {}},
          {L"隐藏当前选择的点", D::ID_VIEW_HIDE_SELECTED, {}}}},
        {L"报告(&R)",
         0,
         {{L"选择",
           0,
           {{L"错误矩阵", D::ID_REPORT_ERROR_MATRIX, {}},
            {L"总体精度", D::ID_REPORT_OVERALL_ACCURACY, {}},
            {L"Kappa系数", D::ID_REPORT_KAPPA, {}}}},
          {L"精度评估报告", D::ID_REPORT_WRITE, {}}}},
    };
    return m;
}

const TemplateRegistrar registrar(accuracyMenu());

} // namespace
