#include "progressui/processuilib.h"

#include "progressui/progresswindow.h"

#include <QApplication>
#include <QThread>

CBaseProgress* CProcessUILib::CreateProgressDlg() {
    // Widgets exist only in a widget application, on its own thread.
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app || QThread::currentThread() != app->thread())
        return nullptr;
    return new ProgressWindow();
}
