#include "platform/translation.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

#include <memory>

namespace {

std::unique_ptr<QTranslator>& installed() {
    static std::unique_ptr<QTranslator> translator;
    return translator;
}

QString& language() {
    static QString current = QStringLiteral("zh");
    return current;
}

} // namespace

QString Translate(const QString& text) {
    if (text.isEmpty() || !installed())
        return text;
    const QByteArray source = text.toUtf8();
    return QCoreApplication::translate(kTranslationContext, source.constData());
}

QString Translate(const std::wstring& text) {
    return Translate(QString::fromStdWString(text));
}

std::wstring TranslateW(const std::wstring& text) {
    return Translate(text).toStdWString();
}

std::wstring TranslateArgs(const std::wstring& text, const std::wstring& a1, const std::wstring& a2) {
    return Translate(text).arg(QString::fromStdWString(a1), QString::fromStdWString(a2)).toStdWString();
}

bool SetLanguage(const QString& wanted) {
    if (installed()) {
        QCoreApplication::removeTranslator(installed().get());
        installed().reset();
    }
    language() = QStringLiteral("zh");
    if (wanted.isEmpty() || wanted == QLatin1String("zh"))
        return true;
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral(":/tessera/i18n/tessera_%1.qm").arg(wanted)))
        return false;
    QCoreApplication::installTranslator(translator.get());
    installed() = std::move(translator);
    language() = wanted;
    return true;
}

QString CurrentLanguage() {
    return language();
}

QString LanguageOfLocale(const QLocale& locale) {
    return locale.language() == QLocale::English ? QStringLiteral("en") : QStringLiteral("zh");
}
