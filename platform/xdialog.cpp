#include "platform/xdialog.h"

#include "platform/dialogtemplate.h"
#include "platform/gridctrl.h"
#include "platform/modulestate.h"
#include "platform/translation.h"
#include "platform/uiservices.h"
#include "platform/xcombobox.h"
#include "platform/xlistbox.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cwchar>

namespace {

// Every text of a window is shown in the current language.
QString toQ(const std::wstring& s) {
    return Translate(s);
}

// A menu item's text: the part before a tab is translated, the shortcut text after it is kept.
QString menuText(const std::wstring& s) {
    const size_t tab = s.find(L'\t');
    if (tab == std::wstring::npos)
        return Translate(s);
    return Translate(s.substr(0, tab)) + QString::fromStdWString(s.substr(tab));
}

std::wstring trimmed(const std::wstring& s) {
    const size_t b = s.find_first_not_of(L" \t");
    if (b == std::wstring::npos)
        return {};
    return s.substr(b, s.find_last_not_of(L" \t") - b + 1);
}

std::wstring formatNumber(const wchar_t* format, double value) {
    wchar_t buffer[64];
    std::swprintf(buffer, 64, format, value);
    return buffer;
}

// Whole-text integer parse: optional sign (when allowed), digits, nothing else.
std::optional<long long> parseInteger(const std::wstring& text, bool allowSign) {
    const std::wstring t = trimmed(text);
    size_t i = 0;
    bool negative = false;
    if (allowSign && i < t.size() && (t[i] == L'-' || t[i] == L'+'))
        negative = t[i++] == L'-';
    if (i == t.size())
        return std::nullopt;
    long long value = 0;
    for (; i < t.size(); ++i) {
        if (t[i] < L'0' || t[i] > L'9')
            return std::nullopt;
        value = value * 10 + (t[i] - L'0');
        if (value > (1LL << 40))
            return std::nullopt; // far beyond any field's type
    }
    return negative ? -value : value;
}

std::optional<double> parseDouble(const std::wstring& text) {
    const std::wstring t = trimmed(text);
    if (t.empty())
        return std::nullopt;
    wchar_t* end = nullptr;
    errno = 0;
    const double v = std::wcstod(t.c_str(), &end);
    if (end != t.c_str() + t.size() || errno == ERANGE || !std::isfinite(v))
        return std::nullopt;
    return v;
}

} // namespace

void CCmdUI::Enable(bool enabled) {
    if (m_action)
        m_action->setEnabled(enabled);
}

void CCmdUI::SetCheck(bool checked) {
    if (!m_action)
        return;
    m_action->setCheckable(true);
    m_action->setChecked(checked);
}

namespace NumberMessages {
std::wstring NotAnInteger() {
    return TranslateW(L"请输入一个整数。");
}
std::wstring NotAnUnsignedInteger() {
    return TranslateW(L"请输入一个正整数。");
}
std::wstring NotANumber() {
    return TranslateW(L"请输入一个数字。");
}
std::wstring IntegerRange(long long low, long long high) {
    return TranslateArgs(L"请输入一个介于 %1 和 %2 之间的整数。", std::to_wstring(low),
                         std::to_wstring(high));
}
std::wstring NumberRange(double low, double high) {
    return TranslateArgs(L"请输入一个介于 %1 和 %2 之间的数字。", formatNumber(L"%g", low),
                         formatNumber(L"%g", high));
}
} // namespace NumberMessages

XDialog::XDialog(int templateId, QWidget* parent) : QDialog(parent), m_templateId(templateId) {}

XDialog::~XDialog() = default;

bool XDialog::Create(int templateId, QWidget* parent) {
    if (m_created)
        return true;
    if (templateId)
        m_templateId = templateId;
    if (parent)
        setParent(parent, windowFlags());
    const ModuleState& module = CurrentModuleState();
    const DialogTemplate* dialog = module.FindDialogTemplate(m_templateId);
    if (!dialog)
        return false;
    m_owner = &module;

    setWindowTitle(toQ(dialog->title));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_client = new QWidget(this);
    m_client->setMinimumSize(dialog->width, dialog->height);
    layout->addWidget(m_client);
    if (dialog->menuId)
        buildMenu(dialog->menuId);
    buildControls(*dialog);
    if (!dialog->resizable)
        layout->setSizeConstraint(QLayout::SetFixedSize);
    resize(dialog->width, dialog->height + (m_menuBar ? m_menuBar->sizeHint().height() : 0));
    m_created = true;
    OnInitDialog();
    return true;
}

void XDialog::buildControls(const DialogTemplate& dialog) {
    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& c : dialog.controls) {
        QWidget* w = nullptr;
        switch (c.kind) {
        case ControlKind::Label: {
            auto* label = new QLabel(toQ(c.text), m_client);
            label->setWordWrap(c.height > 24);
            if (c.style & CS_RIGHT)
                label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            w = label;
            break;
        }
        case ControlKind::Edit: {
            auto* edit = new QLineEdit(QString::fromStdWString(c.text), m_client);
            edit->setReadOnly(c.style & CS_READONLY);
            w = edit;
            break;
        }
        case ControlKind::Button:
        case ControlKind::DefaultButton: {
            auto* button = new QPushButton(toQ(c.text), m_client);
            button->setAutoDefault(false);
            button->setDefault(c.kind == ControlKind::DefaultButton);
            const int id = c.id;
            connect(button, &QPushButton::clicked, this, [this, id] { dispatch(id); });
            w = button;
            break;
        }
        case ControlKind::CheckBox:
        case ControlKind::RadioButton: {
            QAbstractButton* button = nullptr;
            if (c.kind == ControlKind::CheckBox) {
                button = new QCheckBox(toQ(c.text), m_client);
            } else {
                button = new QRadioButton(toQ(c.text), m_client);
                if (!radioGroup || (c.style & CS_GROUP))
                    radioGroup = new QButtonGroup(this);
                radioGroup->addButton(button);
            }
            const int id = c.id;
            connect(button, &QAbstractButton::clicked, this, [this, id] { dispatch(id); });
            w = button;
            break;
        }
        case ControlKind::ComboBox:
        case ControlKind::SortedComboBox:
            w = new XComboBox(c.kind == ControlKind::SortedComboBox, m_client);
            static_cast<XComboBox*>(w)->setEditable(c.style & CS_EDITABLE);
            break;
        case ControlKind::ListBox:
        case ControlKind::MultiListBox:
        case ControlKind::SortedListBox:
            w = new XListBox(c.kind == ControlKind::MultiListBox, c.kind == ControlKind::SortedListBox,
                             m_client);
            break;
        case ControlKind::GroupBox:
            w = new QGroupBox(toQ(c.text), m_client);
            w->lower();
            break;
        case ControlKind::Placeholder: {
            auto* frame = new QFrame(m_client);
            frame->setFrameShape(QFrame::NoFrame);
            w = frame;
            break;
        }
        case ControlKind::Grid:
            w = new CGridCtrl(m_client);
            break;
        }
        if (c.kind != ControlKind::RadioButton && (c.style & CS_GROUP))
            radioGroup = nullptr;
        w->setGeometry(c.x, c.y, c.width, c.height);
        w->setEnabled(!(c.style & CS_DISABLED));
        w->setVisible(!(c.style & CS_HIDDEN));
        if (c.id > 0)
            m_items[c.id] = w;
    }
    // Group boxes are drawn under the controls they frame.
    for (QGroupBox* g : m_client->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly))
        g->lower();
}

void XDialog::buildMenu(int menuId) {
    const MenuTemplate* menu = m_owner->FindMenuTemplate(menuId);
    if (!menu)
        return;
    m_menuBar = new QMenuBar(this);
    static_cast<QVBoxLayout*>(layout())->setMenuBar(m_menuBar);
    for (const MenuItemTemplate& item : menu->items) {
        if (item.children.empty()) {
            QAction* action = m_menuBar->addAction(menuText(item.text));
            const int id = item.id;
            connect(action, &QAction::triggered, this, [this, id] { dispatch(id); });
            if (id)
                m_actions[id] = action;
            continue;
        }
        QMenu* popup = m_menuBar->addMenu(menuText(item.text));
        addMenuItems(popup, item.children);
    }
}

void XDialog::addMenuItems(QMenu* menu, const std::vector<MenuItemTemplate>& items) {
    // States are asked from the window each time the menu opens.
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        for (QAction* action : menu->actions()) {
            const int id = action->data().toInt();
            if (id) {
                CCmdUI ui(action);
                OnUpdateCommand(id, ui);
            }
        }
    });
    for (const MenuItemTemplate& item : items) {
        if (!item.children.empty()) {
            addMenuItems(menu->addMenu(menuText(item.text)), item.children);
        } else if (item.text.empty() && item.id == 0) {
            menu->addSeparator();
        } else {
            // The text after a tab is shown as the shortcut text; it is not bound.
            QAction* action = menu->addAction(menuText(item.text));
            action->setData(item.id);
            const int id = item.id;
            connect(action, &QAction::triggered, this, [this, id] { dispatch(id); });
            m_actions[id] = action;
        }
    }
}

int XDialog::DoModal() {
    if (!m_created && !Create(m_templateId))
        return IDCANCEL;
    m_modal = true;
    const int result = UiServices().RunModal(*this);
    m_modal = false;
    return result;
}

void BringToFront(QWidget& window) {
    window.show();
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return;
    window.raise();
    window.activateWindow();
}

void XDialog::ShowWindow() {
    setWindowState(windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized));
    BringToFront(*this);
}

void XDialog::EndDialog(int result) {
    if (m_modal) {
        QDialog::done(result);
        return;
    }
    setResult(result);
    DestroyWindow();
}

void XDialog::DestroyWindow() {
    if (m_destroying)
        return;
    m_destroying = true;
    hide();
    PostNcDestroy();
}

void XDialog::PostNcDestroy() {
    if (m_autoDelete)
        deleteLater();
}

QWidget* XDialog::GetDlgItem(int id) const {
    const auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second;
}

std::wstring XDialog::GetDlgItemText(int id) const {
    QWidget* w = GetDlgItem(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        return edit->text().toStdWString();
    if (auto* label = qobject_cast<QLabel*>(w))
        return label->text().toStdWString();
    if (auto* button = qobject_cast<QAbstractButton*>(w))
        return button->text().toStdWString();
    if (auto* combo = qobject_cast<QComboBox*>(w))
        return combo->currentText().toStdWString();
    if (auto* group = qobject_cast<QGroupBox*>(w))
        return group->title().toStdWString();
    return {};
}

void XDialog::SetDlgItemText(int id, const std::wstring& text) {
    QWidget* w = GetDlgItem(id);
    if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(QString::fromStdWString(text));
    else if (auto* label = qobject_cast<QLabel*>(w))
        label->setText(toQ(text));
    else if (auto* button = qobject_cast<QAbstractButton*>(w))
        button->setText(toQ(text));
    else if (auto* group = qobject_cast<QGroupBox*>(w))
        group->setTitle(toQ(text));
}

bool XDialog::IsDlgButtonChecked(int id) const {
    auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id));
    return button && button->isChecked();
}

void XDialog::CheckDlgButton(int id, bool checked) {
    if (auto* button = qobject_cast<QAbstractButton*>(GetDlgItem(id)))
        button->setChecked(checked);
}

void XDialog::EnableDlgItem(int id, bool enabled) {
    if (QWidget* w = GetDlgItem(id))
        w->setEnabled(enabled);
}

void XDialog::ShowDlgItem(int id, bool shown) {
    if (QWidget* w = GetDlgItem(id))
        w->setVisible(shown);
}

void XDialog::SetWindowText(const std::wstring& title) {
    setWindowTitle(toQ(title));
}

std::wstring XDialog::GetWindowText() const {
    return windowTitle().toStdWString();
}

void XDialog::CenterWindow() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void XDialog::SendCommand(int id) {
    dispatch(id);
}

QAction* XDialog::MenuAction(int id) const {
    const auto it = m_actions.find(id);
    return it == m_actions.end() ? nullptr : it->second;
}

void XDialog::UpdateMenuStates() {
    if (!m_menuBar)
        return;
    for (QMenu* menu : m_menuBar->findChildren<QMenu*>())
        emit menu->aboutToShow();
}

void XDialog::OnCommand(int id, std::function<void()> handler) {
    m_handlers[id] = std::move(handler);
}

void XDialog::dispatch(int id) {
    const auto it = m_handlers.find(id);
    if (it != m_handlers.end()) {
        // Copy: the handler may rewire or destroy the window's handler table.
        const std::function<void()> handler = it->second;
        handler();
    } else if (id == IDOK) {
        OnOK();
    } else if (id == IDCANCEL) {
        OnCancel();
    }
}

void XDialog::OnOK() {
    if (UpdateData(true))
        EndDialog(IDOK);
}

void XDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void XDialog::OnClose() {
    OnCancel();
}

void XDialog::closeEvent(QCloseEvent* event) {
    // The window decides for itself whether and how it ends.
    event->ignore();
    if (!m_destroying)
        OnClose();
}

void XDialog::reject() {
    dispatch(IDCANCEL);
}

void XDialog::accept() {
    dispatch(IDOK);
}

bool XDialog::PreTranslateMessage(QObject* target, QEvent* event) {
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    switch (key->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        if (mods & (Qt::ControlModifier | Qt::AltModifier))
            return false;
        focusNextPrevChild(key->key() == Qt::Key_Tab && !(mods & Qt::ShiftModifier));
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (mods != Qt::NoModifier)
            return false;
        if (auto* button = qobject_cast<QPushButton*>(target); button && button->isEnabled()) {
            button->click();
            return true;
        }
        for (QPushButton* button : findChildren<QPushButton*>())
            if (button->isDefault() && button->isVisible() && button->isEnabled()) {
                button->click();
                return true;
            }
        dispatch(IDOK);
        return true;
    }
    case Qt::Key_Escape:
        if (mods != Qt::NoModifier)
            return false;
        dispatch(IDCANCEL);
        return true;
    default:
        return false;
    }
}

bool XDialog::refuseField(int id, const std::wstring& message) {
    XMessageBox(message, std::wstring(), MB_OK | MB_ICONWARNING);
    if (auto* edit = qobject_cast<QLineEdit*>(GetDlgItem(id))) {
        edit->setFocus();
        edit->selectAll();
    }
    return false;
}

void XDialog::BindText(int id, std::wstring& value) {
    m_bindings.push_back({id,
                          [id, &value](XDialog& d) {
                              value = d.GetDlgItemText(id);
                              return true;
                          },
                          [id, &value](XDialog& d) { d.SetDlgItemText(id, value); }});
}

void XDialog::BindInt(int id, int& value, std::optional<std::pair<int, int>> range) {
    m_bindings.push_back({id,
                          [id, &value, range](XDialog& d) {
                              const auto v = parseInteger(d.GetDlgItemText(id), true);
                              if (!v || *v < INT_MIN || *v > INT_MAX)
                                  return d.refuseField(id, NumberMessages::NotAnInteger());
                              if (range && (*v < range->first || *v > range->second))
                                  return d.refuseField(
                                      id, NumberMessages::IntegerRange(range->first, range->second));
                              value = static_cast<int>(*v);
                              return true;
                          },
                          [id, &value](XDialog& d) { d.SetDlgItemText(id, std::to_wstring(value)); }});
}

void XDialog::BindUInt(int id, unsigned& value, std::optional<std::pair<unsigned, unsigned>> range) {
    m_bindings.push_back({id,
                          [id, &value, range](XDialog& d) {
                              const auto v = parseInteger(d.GetDlgItemText(id), false);
                              if (!v || *v > UINT_MAX)
                                  return d.refuseField(id, NumberMessages::NotAnUnsignedInteger());
                              if (range && (*v < range->first || *v > range->second))
                                  return d.refuseField(
                                      id, NumberMessages::IntegerRange(range->first, range->second));
                              value = static_cast<unsigned>(*v);
                              return true;
                          },
                          [id, &value](XDialog& d) { d.SetDlgItemText(id, std::to_wstring(value)); }});
}

void XDialog::BindDouble(int id, double& value, std::optional<std::pair<double, double>> range) {
    m_bindings.push_back({id,
                          [id, &value, range](XDialog& d) {
                              const auto v = parseDouble(d.GetDlgItemText(id));
                              if (!v)
                                  return d.refuseField(id, NumberMessages::NotANumber());
                              if (range && (*v < range->first || *v > range->second))
                                  return d.refuseField(
                                      id, NumberMessages::NumberRange(range->first, range->second));
                              value = *v;
                              return true;
                          },
                          [id, &value](XDialog& d) { d.SetDlgItemText(id, formatNumber(L"%.15g", value)); }});
}

bool XDialog::UpdateData(bool saveAndValidate) {
    for (Binding& b : m_bindings) {
        if (!saveAndValidate)
            b.load(*this);
        else if (!b.save(*this))
            return false;
    }
    return true;
}
