#pragma once
// The windows' texts are written in Chinese, in their templates and code. A
// translation into another language is a Qt translation (translations/
// tessera_<language>.ts, built into a .qm embedded in this library) whose
// source texts are those Chinese texts, all in one context. Every place where
// a text reaches a widget or a message box passes it through Translate; with
// no translation installed a text is shown as it is written.

#include <QString>

#include <string>

class QLocale;

// The context of every entry of the translation files.
inline constexpr const char* kTranslationContext = "Tessera";

// The text in the current language (the text itself when it has no translation).
QString Translate(const QString& text);
QString Translate(const std::wstring& text);
std::wstring TranslateW(const std::wstring& text);
// A text with %1, %2... placeholders, translated, then filled in.
std::wstring TranslateArgs(const std::wstring& text, const std::wstring& a1, const std::wstring& a2);

// Installs the translation into `language` ("en") for the whole application;
// "zh" or empty goes back to the texts as written. False when no translation
// into that language is built in (the texts then stay as written).
bool SetLanguage(const QString& language);
// "zh" unless a translation is installed.
QString CurrentLanguage();
// The language a locale asks for: "en" for an English locale, "zh" otherwise
// (the C locale included), as the windows are written in Chinese.
QString LanguageOfLocale(const QLocale& locale);
