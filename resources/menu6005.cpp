// Menu 6005: the sample editor's menu bar.
#include "entry/tesseramodule.h"
#include "samples/CAoiEditorDlg.h"

namespace {

using D = CAoiEditorDlg;

MenuTemplate sampleEditorMenu() {
    MenuTemplate menu;
    menu.id = D::IDR_MENU;
    menu.items = {
        {L"文件(&F)",
         0,
         {{L"打开(&O)", D::ID_SAMPLE_OPEN},
          {L"保存(&S)", D::ID_SAMPLE_SAVE},
          {L"关闭(&C)", D::ID_SAMPLE_CLOSE}}},
        {L"编辑(&E)",
         0,
         {{L"添加(&A)", D::ID_SAMPLE_ADD},
          {L"删除(&D)\tCtrl+D", D::ID_SAMPLE_DELETE},
          {L"合并(&M)\tCtrl+M", D::ID_SAMPLE_MERGE},
          MenuItemTemplate::Separator(),
          {L"清空(&C)", D::ID_SAMPLE_CLEAR}}},
        {L"帮助(&H)", D::ID_SAMPLE_HELP, {}},
    };
    return menu;
}

const TemplateRegistrar registrar(sampleEditorMenu());

} // namespace
