#include "entry/tesserauilib.h"

#include "classify/CDlgSupperviseCommon.h"
#include "classify/CDlgUnsuperviseClassify.h"
#include "classify/CMinDistanceClassifyDlg.h"
#include "entry/tesserauiapp.h"

int CTesseraUILib::DllPreTranslateMessage(TesseraMessage* message) {
    if (!message || !message->target || !message->event)
        return 0;
    TesseraModuleGuard context;
    return TesseraApp().PreTranslateMessage(message->target, message->event) ? 1 : 0;
}

unsigned long CTesseraUILib::ShowUnsuperviseClassifyDlg(IControlerInterface* host) {
    return ShowModelessWindow<CDlgUnsuperviseClassify>(host);
}

unsigned long CTesseraUILib::ShowSupperviseClassifyCommonDlg(SuperviseClassifyType kind, IControlerInterface* host) {
    return ShowModelessWindow<CDlgSupperviseCommon>(kind, host);
}

unsigned long CTesseraUILib::ShowMixDistanceClassifyDlg() { return ShowModelessWindow<CMinDistanceClassifyDlg>(); }
