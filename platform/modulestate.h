#pragma once
// The module context: whose templates and menus a window is built from.
// The host runs in its own module; each entry point of a library makes the
// library's module current for the length of the call (ModuleContextGuard)
// and restores the caller's on every way out, exceptions included.

#include "platform/dialogtemplate.h"

#include <map>
#include <string>

class ModuleState {
public:
    explicit ModuleState(std::string name) : m_name(std::move(name)) {}
    ModuleState(const ModuleState&) = delete;
    ModuleState& operator=(const ModuleState&) = delete;

    const std::string& Name() const { return m_name; }

    void AddDialogTemplate(DialogTemplate dialog);
    void AddMenuTemplate(MenuTemplate menu);
    const DialogTemplate* FindDialogTemplate(int id) const;
    const MenuTemplate* FindMenuTemplate(int id) const;

private:
    std::string m_name;
    std::map<int, DialogTemplate> m_dialogs;
    std::map<int, MenuTemplate> m_menus;
};

// The module of the host process: current when no library call is running.
ModuleState& HostModuleState();
// The module current on this thread.
ModuleState& CurrentModuleState();

class ModuleContextGuard {
public:
    explicit ModuleContextGuard(ModuleState& module);
    ~ModuleContextGuard();
    ModuleContextGuard(const ModuleContextGuard&) = delete;
    ModuleContextGuard& operator=(const ModuleContextGuard&) = delete;

private:
    ModuleState* m_previous;
};
