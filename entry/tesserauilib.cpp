#include "entry/tesserauilib.h"

#include "accuracy/CClassesAccuracyDlg.h"
#include "classify/CBPClassifyDlg.h"
#include "classify/CDlgSupperviseCommon.h"
#include "classify/CDlgUnsuperviseClassify.h"
#include "classify/CMinDistanceClassifyDlg.h"
#include "classify/CRandomForestDlg.h"
#include "classify/CSvmClassifyDlg.h"
#include "entry/tesserauiapp.h"
#include "platform/translation.h"
#include "postclass/CClassesClumpDlg.h"
#include "postclass/CClassesFilterDlg.h"
#include "postclass/CClassesMergeDlg.h"
#include "postclass/CClassesStaticsDlg.h"
#include "postclass/CClassifyVectorizeDlg.h"
#include "samples/CAoiEditorDlg.h"

int CTesseraUILib::DllPreTranslateMessage(TesseraMessage* message) {
    if (!message || !message->target || !message->event)
        return 0;
    TesseraModuleGuard context;
    return TesseraApp().PreTranslateMessage(message->target, message->event) ? 1 : 0;
}

int CTesseraUILib::SetLanguage(const wchar_t* language) {
    return ::SetLanguage(language ? QString::fromWCharArray(language) : QString()) ? 1 : 0;
}

unsigned long CTesseraUILib::ShowUnsuperviseClassifyDlg(IControlerInterface* host) {
    return ShowModelessWindow<CDlgUnsuperviseClassify>(host);
}

unsigned long CTesseraUILib::ShowSupperviseClassifyCommonDlg(SuperviseClassifyType kind,
                                                             IControlerInterface* host) {
    return ShowModelessWindow<CDlgSupperviseCommon>(kind, host);
}

unsigned long CTesseraUILib::ShowMixDistanceClassifyDlg() {
    return ShowModelessWindow<CMinDistanceClassifyDlg>();
}

unsigned long CTesseraUILib::ShowAOIEditorDlg(IControlerInterface* host) {
    return ShowModelessWindow<CAoiEditorDlg>(host);
}

unsigned long CTesseraUILib::ShowAccuracyClassifyDlg(IControlerInterface* host) {
    return ShowModelessWindow<CClassesAccuracyDlg>(host);
}

unsigned long CTesseraUILib::ShowStaticsClassifyDlg() {
    return ShowModelessWindow<CClassesStaticsDlg>();
}

unsigned long CTesseraUILib::ShowVectorizeClassifyDlg(IControlerInterface* host) {
    return ShowModelessWindow<CClassifyVectorizeDlg>(host);
}

unsigned long CTesseraUILib::ShowMergeClassifyDlg(IControlerInterface* host) {
    return ShowModelessWindow<CClassesMergeDlg>(host);
}

unsigned long CTesseraUILib::ShowLumpClassifyDlg() {
    return ShowModelessWindow<CClassesClumpDlg>();
}

unsigned long CTesseraUILib::ShowFilterClassifyDlg() {
    return ShowModelessWindow<CClassesFilterDlg>();
}

unsigned long CTesseraUILib::ShowSvmClassifyDlg(IControlerInterface* host) {
    return ShowModelessWindow<CSvmClassifyDlg>(host);
}

unsigned long CTesseraUILib::ShowBPClassifyDlg(IControlerInterface* host) {
    return ShowModelessWindow<CBPClassifyDlg>(host);
}

unsigned long CTesseraUILib::ShowRandomForestClassifyDlg(IControlerInterface* host) {
    return ShowModelessWindow<CRandomForestDlg>(host);
}
