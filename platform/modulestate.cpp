#include "platform/modulestate.h"

namespace {
thread_local ModuleState* t_current = nullptr;
}

void ModuleState::AddDialogTemplate(DialogTemplate dialog) {
    const int id = dialog.id;
    m_dialogs.insert_or_assign(id, std::move(dialog));
}

void ModuleState::AddMenuTemplate(MenuTemplate menu) {
    const int id = menu.id;
    m_menus.insert_or_assign(id, std::move(menu));
}

const DialogTemplate* ModuleState::FindDialogTemplate(int id) const {
    const auto it = m_dialogs.find(id);
    return it == m_dialogs.end() ? nullptr : &it->second;
}

const MenuTemplate* ModuleState::FindMenuTemplate(int id) const {
    const auto it = m_menus.find(id);
    return it == m_menus.end() ? nullptr : &it->second;
}

ModuleState& HostModuleState() {
    static ModuleState host("host");
    return host;
}

ModuleState& CurrentModuleState() {
    return t_current ? *t_current : HostModuleState();
}

ModuleContextGuard::ModuleContextGuard(ModuleState& module) : m_previous(t_current) {
    t_current = &module;
}

ModuleContextGuard::~ModuleContextGuard() {
    t_current = m_previous;
}
