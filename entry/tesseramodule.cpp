#include "entry/tesseramodule.h"

ModuleState& TesseraModuleState() {
    static ModuleState module("tesseraui");
    return module;
}

TemplateRegistrar::TemplateRegistrar(DialogTemplate dialog) {
    TesseraModuleState().AddDialogTemplate(std::move(dialog));
}

TemplateRegistrar::TemplateRegistrar(MenuTemplate menu) {
    TesseraModuleState().AddMenuTemplate(std::move(menu));
}
