// Menu 6020: the class statistics window's menu bar.
#include "entry/tesseramodule.h"
#include "postclass/CClassesStaticsDlg.h"

namespace {

using D = CClassesStaticsDlg;

MenuTemplate statisticsMenu() {
    MenuTemplate m;
    m.id = D::IDR_MENU;
    m.items = {
        {L"文件(&F)",
         0,
         {{L"打开分类后影像", D::ID_FILE_OPEN_CLASSIFIED, {}}, {L"退出(&E)", D::ID_FILE_EXIT, {}}}},
        {L"帮助", D::ID_STATISTICS_HELP, {}},
    };
    return m;
}

const TemplateRegistrar registrar(statisticsMenu());

} // namespace
