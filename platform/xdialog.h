#pragma once
// XDialog: a dialog window built from a template number of the current
// module (modulestate.h). Controls are reached by their numbers; commands
// (buttons, menu items) are wired to handler methods by number; menu items'
// enabled and checked states are asked from OnUpdateCommand each time a menu
// opens. Numeric fields are bound to members and exchanged with UpdateData,
// which refuses bad numbers with the toolkit's number and range messages.

#include "base/wintypes.h"

#include <QDialog>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QAction;
class QButtonGroup;
class QMenu;
class QMenuBar;
class QWidget;
class ModuleState;
struct DialogTemplate;
struct MenuItemTemplate;

// What OnUpdateCommand may change about a menu item.
class CCmdUI {
public:
    explicit CCmdUI(QAction* action) : m_action(action) {}
    void Enable(bool enabled = true);
    void SetCheck(bool checked = true);

private:
    QAction* m_action;
};

// Texts of the toolkit's number and range refusals.
namespace NumberMessages {
std::wstring NotAnInteger();
std::wstring NotAnUnsignedInteger();
std::wstring NotANumber();
std::wstring IntegerRange(long long low, long long high);
std::wstring NumberRange(double low, double high);
} // namespace NumberMessages

// Shows the window above the others and gives it the focus; without a
// window system (the offscreen and minimal platforms) there is nothing to
// raise, so it is only shown.
void BringToFront(QWidget& window);

class XDialog : public QDialog {
    Q_OBJECT
public:
    explicit XDialog(int templateId, QWidget* parent = nullptr);
    ~XDialog() override;

    // Builds the window from its template in the current module. False when
    // the module has no such template. Calls OnInitDialog once built.
    bool Create(int templateId = 0, QWidget* parent = nullptr);
    // Builds the window if needed and runs it modally (through the UI
    // service, so tests can script it). Returns IDOK or IDCANCEL.
    int DoModal();
    // Shows a modeless window: normal size, activated.
    void ShowWindow();
    // Ends the window: a modal one returns result from DoModal; a modeless
    // one is hidden and destroyed (PostNcDestroy runs).
    void EndDialog(int result);
    void DestroyWindow();
    bool IsCreated() const { return m_created; }
    bool IsModal() const { return m_modal; }
    int TemplateId() const { return m_templateId; }
    // The module whose template built this window.
    const ModuleState* OwnerModule() const { return m_owner; }
    // Windows opened by an entry point release themselves once destroyed.
    void SetAutoDelete(bool autoDelete) { m_autoDelete = autoDelete; }

    // Controls by number.
    QWidget* GetDlgItem(int id) const;
    template <class T> T* Item(int id) const { return qobject_cast<T*>(GetDlgItem(id)); }
    std::wstring GetDlgItemText(int id) const;
    void SetDlgItemText(int id, const std::wstring& text);
    bool IsDlgButtonChecked(int id) const;
    void CheckDlgButton(int id, bool checked);
    void EnableDlgItem(int id, bool enabled);
    void ShowDlgItem(int id, bool shown);
    void SetWindowText(const std::wstring& title);
    std::wstring GetWindowText() const;
    void CenterWindow();

    // Runs the command with this number as if the user had chosen it.
    void SendCommand(int id);
    // The menu bar (null without a menu) and a menu item by command number.
    QMenuBar* GetMenu() const { return m_menuBar; }
    QAction* MenuAction(int id) const;
    // Asks OnUpdateCommand for every item of the menu, as when it opens.
    void UpdateMenuStates();

    // Dialog keyboard handling for a key event aimed at this window or one of
    // its children (Tab, Enter, Esc, mnemonics). True when it was consumed.
    bool PreTranslateMessage(QObject* target, QEvent* event);

    // Moves values between the bound members and the controls: true reads
    // and validates the controls (stops at the first refused field, after a
    // message, leaving the fields before it stored), false writes the members.
    bool UpdateData(bool saveAndValidate = true);

protected:
    // Called once the controls exist; wire commands and fill controls here.
    virtual bool OnInitDialog() { return true; }
    virtual void OnOK();
    virtual void OnCancel();
    // The window's close box; OnCancel unless a window says otherwise.
    virtual void OnClose();
    // After the window is destroyed.
    virtual void PostNcDestroy();
    virtual void OnUpdateCommand(int id, CCmdUI& ui) {}

    // Wiring: handler for a command number (button click or menu item).
    void OnCommand(int id, std::function<void()> handler);
    // Bindings exchanged by UpdateData, in the order they are declared.
    void BindText(int id, std::wstring& value);
    void BindInt(int id, int& value, std::optional<std::pair<int, int>> range = std::nullopt);
    void BindUInt(int id, unsigned& value, std::optional<std::pair<unsigned, unsigned>> range = std::nullopt);
    void BindDouble(int id, double& value, std::optional<std::pair<double, double>> range = std::nullopt);

    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void accept() override;

private:
    void buildControls(const DialogTemplate& dialog);
    void buildMenu(int menuId);
    void addMenuItems(QMenu* menu, const std::vector<MenuItemTemplate>& items);
    void dispatch(int id);
    bool refuseField(int id, const std::wstring& message);

    struct Binding {
        int id;
        std::function<bool(XDialog&)> save; // false: refused (message shown)
        std::function<void(XDialog&)> load;
    };

    int m_templateId;
    bool m_created = false;
    bool m_modal = false;
    bool m_autoDelete = false;
    bool m_destroying = false;
    const ModuleState* m_owner = nullptr;
    QWidget* m_client = nullptr;
    QMenuBar* m_menuBar = nullptr;
    std::map<int, QWidget*> m_items;
    std::map<int, QAction*> m_actions;
    std::map<int, std::function<void()>> m_handlers;
    std::vector<Binding> m_bindings;
};
