#pragma once
// Keeps non-numeric text out of an edit field: on every change, when the
// text holds a character outside the allowed set, the field gets back its
// last accepted value (the window's bound member as of its last read),
// formatted with the field's format. The guard stores no value itself.

#include <QObject>

#include <functional>
#include <optional>
#include <string>

class QLineEdit;

// The allowed set is written as a comma-separated character list
// ("0,1,2,...,9,.,-") and used as a plain set of characters, so the comma
// itself is allowed too.
bool NumericGuardAccepts(const std::wstring& text, const std::wstring& allowedList);
// The text the field must be given back, or nothing when the text is accepted.
std::optional<std::wstring> NumericGuardRestore(const std::wstring& text, const std::wstring& allowedList,
                                                const std::wstring& format, double lastAccepted);
// printf-style formatting of the restored value: "%d"-like formats take the
// value as an integer, the others as a double.
std::wstring FormatGuardValue(const std::wstring& format, double value);

class NumericEditGuard : public QObject {
    Q_OBJECT
public:
    // The guard lives as long as the edit field.
    static NumericEditGuard* Attach(QLineEdit* edit, std::wstring allowedList, std::wstring format,
                                    std::function<double()> lastAccepted);

private:
    NumericEditGuard(QLineEdit* edit, std::wstring allowedList, std::wstring format,
                     std::function<double()> lastAccepted);
    void check();

    QLineEdit* m_edit;
    std::wstring m_allowed;
    std::wstring m_format;
    std::function<double()> m_lastAccepted;
};

namespace GuardSets {
inline constexpr const wchar_t* Decimal = L"0,1,2,3,4,5,6,7,8,9,.,-";
inline constexpr const wchar_t* Digits = L"0,1,2,3,4,5,6,7,8,9";
} // namespace GuardSets
