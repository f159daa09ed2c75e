#pragma once
// The library's single application object, created when the library is loaded.

#include <QEvent>
#include <QObject>

class CTesseraUIApp {
public:
    CTesseraUIApp();
    // Standard initialisation: the module context is ready. Always succeeds.
    bool InitInstance();
    // Offers a message to the library window it is aimed at, then to that
    // window's parents, for dialog keyboard handling. True when consumed.
    bool PreTranslateMessage(QObject* target, QEvent* event);
    bool IsInitialized() const { return m_initialized; }

private:
    bool m_initialized = false;
};

CTesseraUIApp& TesseraApp();
