#include "common/numericguard.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include <cmath>
#include <cwchar>

bool NumericGuardAccepts(const std::wstring& text, const std::wstring& allowedList) {
    return text.find_first_not_of(allowedList) == std::wstring::npos;
}

std::wstring FormatGuardValue(const std::wstring& format, double value) {
    // The conversion character of the first "%..." decides the argument type.
    bool integral = false;
    const size_t percent = format.find(L'%');
    if (percent != std::wstring::npos) {
        const size_t conversion = format.find_first_of(L"diouxXeEfFgGaA", percent + 1);
        integral = conversion != std::wstring::npos && std::wcschr(L"diouxX", format[conversion]);
    }
    wchar_t buffer[128];
    int written = integral ? std::swprintf(buffer, 128, format.c_str(), static_cast<int>(std::llround(value)))
                           : std::swprintf(buffer, 128, format.c_str(), value);
    return written < 0 ? std::wstring() : std::wstring(buffer, static_cast<size_t>(written));
}

std::optional<std::wstring> NumericGuardRestore(const std::wstring& text, const std::wstring& allowedList,
                                                const std::wstring& format, double lastAccepted) {
    if (NumericGuardAccepts(text, allowedList))
        return std::nullopt;
    return FormatGuardValue(format, lastAccepted);
}

NumericEditGuard* NumericEditGuard::Attach(QLineEdit* edit, std::wstring allowedList, std::wstring format,
                                           std::function<double()> lastAccepted) {
    if (!edit)
        return nullptr;
    return new NumericEditGuard(edit, std::move(allowedList), std::move(format), std::move(lastAccepted));
}

NumericEditGuard::NumericEditGuard(QLineEdit* edit, std::wstring allowedList, std::wstring format,
                                   std::function<double()> lastAccepted)
    : QObject(edit), m_edit(edit), m_allowed(std::move(allowedList)), m_format(std::move(format)),
      m_lastAccepted(std::move(lastAccepted)) {
    connect(edit, &QLineEdit::textChanged, this, &NumericEditGuard::check);
}

void NumericEditGuard::check() {
    const std::optional<std::wstring> restore = NumericGuardRestore(
        m_edit->text().toStdWString(), m_allowed, m_format, m_lastAccepted ? m_lastAccepted() : 0.0);
    if (!restore)
        return;
    const QSignalBlocker block(m_edit);
    m_edit->setText(QString::fromStdWString(*restore));
}
