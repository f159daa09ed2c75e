#include "host/libraryeventfilter.h"

#include "entry/tesserauilib.h"

#include <QEvent>

bool LibraryEventFilter::eventFilter(QObject* target, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return false;
    // Re-entered from nested event loops (a modal box opened by a key the
    // library handled); each event is offered once.
    TesseraMessage message{target, event};
    const bool consumed = CTesseraUILib::DllPreTranslateMessage(&message) != 0;
    if (consumed)
        ++m_consumed;
    return consumed;
}
