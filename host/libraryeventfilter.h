#pragma once
// Passes the application's key events through the library first
// (CTesseraUILib::DllPreTranslateMessage) so that dialog keyboard handling
// works in its modeless windows; an event the library consumed goes no
// further. Installed on the application object by the host.

#include <QObject>

class LibraryEventFilter : public QObject {
public:
    using QObject::QObject;
    int ConsumedCount() const { return m_consumed; }

protected:
    bool eventFilter(QObject* target, QEvent* event) override;

private:
    int m_consumed = 0;
};
