#include "entry/tesserauiapp.h"

#include "entry/tesseramodule.h"
#include "platform/xdialog.h"

#include <QWidget>

namespace {
CTesseraUIApp theApp;
}

CTesseraUIApp& TesseraApp() {
    return theApp;
}

CTesseraUIApp::CTesseraUIApp() {
    InitInstance();
}

bool CTesseraUIApp::InitInstance() {
    // The module state holds the templates registered from resources/; make
    // sure it exists before any entry point runs.
    TesseraModuleState();
    m_initialized = true;
    return true;
}

bool CTesseraUIApp::PreTranslateMessage(QObject* target, QEvent* event) {
    auto* widget = qobject_cast<QWidget*>(target);
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        auto* dialog = qobject_cast<XDialog*>(w);
        if (dialog && dialog->OwnerModule() == &TesseraModuleState() &&
            dialog->PreTranslateMessage(target, event))
            return true;
    }
    return false;
}
