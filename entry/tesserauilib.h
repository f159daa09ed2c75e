#pragma once
// The library's exported entry points. Each opens one modeless window and
// returns 0 at once; the window then lives in the host's event loop and
// releases itself once dismissed. The library keeps no list of its windows.

#include "entry/tesseraexport.h"
#include "entry/tesseramodule.h"
#include "processing/supervised.h"

class QEvent;
class QObject;
class IControlerInterface;

// The platform's message record as the host passes it through
// DllPreTranslateMessage: the object an event is aimed at, and the event.
struct TesseraMessage {
    QObject* target = nullptr;
    QEvent* event = nullptr;
};

class TESSERAUI_API CTesseraUILib {
public:
    CTesseraUILib() {}
    ~CTesseraUILib() {}
    CTesseraUILib& operator=(const CTesseraUILib&) { return *this; }

    // Non-zero when a library window consumed the message (the host must not
    // dispatch it), zero when the host translates and dispatches it itself.
    static int DllPreTranslateMessage(TesseraMessage* message);
    // The language of the windows' texts: L"en" for English, L"zh" (the
    // default) for the texts as written. Non-zero when that language is built in.
    static int SetLanguage(const wchar_t* language);

    // Unsupervised classification (K-Means, ISODATA), template 6000.
    static unsigned long ShowUnsuperviseClassifyDlg(IControlerInterface* host);
    // Supervised classification of one of five kinds (SuperviseClassifyType).
    static unsigned long ShowSupperviseClassifyCommonDlg(SuperviseClassifyType kind,
                                                         IControlerInterface* host);
    // The dedicated minimum distance window.
    static unsigned long ShowMixDistanceClassifyDlg();
    // Sample editor, template 6002; the host must not be null.
    static unsigned long ShowAOIEditorDlg(IControlerInterface* host);
    // Accuracy assessment: check points, error matrix and kappa report, template 6015.
    static unsigned long ShowAccuracyClassifyDlg(IControlerInterface* host);
    // Class statistics of a classified image, template 6010 with menu 6020.
    static unsigned long ShowStaticsClassifyDlg();
    // Classification vectorize: chosen classes to polygons, template 6009.
    static unsigned long ShowVectorizeClassifyDlg(IControlerInterface* host);
    // Class merge, template 6011.
    static unsigned long ShowMergeClassifyDlg(IControlerInterface* host);
    // Class clump (morphological closing of chosen classes), template 6013.
    static unsigned long ShowLumpClassifyDlg();
    // Class filter (removal of small regions), template 6014.
    static unsigned long ShowFilterClassifyDlg();
    // Support vector machine classification, template 6022.
    static unsigned long ShowSvmClassifyDlg(IControlerInterface* host);
    // Back-propagation neural network classification, template 6023.
    static unsigned long ShowBPClassifyDlg(IControlerInterface* host);
    // Random forest classification, template 6024.
    static unsigned long ShowRandomForestClassifyDlg(IControlerInterface* host);
};

// The steps every entry point runs: the library's module context for the
// length of the call, the window on the heap with no parent, built from its
// template (Dlg::IDD), shown modeless; 0.
template <class Dlg, class... Args> unsigned long ShowModelessWindow(Args&&... args) {
    TesseraModuleGuard context;
    auto* dialog = new Dlg(std::forward<Args>(args)...);
    dialog->SetAutoDelete(true);
    dialog->Create(Dlg::IDD, nullptr);
    dialog->ShowWindow();
    return 0;
}
