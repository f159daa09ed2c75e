#pragma once
// The library's module context: its own dialog and menu templates. Every
// exported call makes it current for its duration (TesseraModuleGuard).

#include "platform/dialogtemplate.h"
#include "platform/modulestate.h"

ModuleState& TesseraModuleState();

class TesseraModuleGuard : public ModuleContextGuard {
public:
    TesseraModuleGuard() : ModuleContextGuard(TesseraModuleState()) {}
};

// Registers a template of this library at load time (one per file in resources/).
struct TemplateRegistrar {
    explicit TemplateRegistrar(DialogTemplate dialog);
    explicit TemplateRegistrar(MenuTemplate menu);
};
