#include "host/windowmenu.h"

#include "entry/tesserauilib.h"

#include <algorithm>

namespace {

// The type of an entry point's first parameter (the classifier kind).
template <class P, class R, class... A> P FirstParameter(R (*)(P, A...));

void AddMissing(std::vector<std::string>& missing, const char* entry) {
    if (std::find(missing.begin(), missing.end(), entry) == missing.end())
        missing.push_back(entry);
}

// Fills the lists from the table. Lib is CTesseraUILib; taking it as a
// template parameter lets each line test whether its entry point exists.
template <class Lib> void Collect(std::vector<WindowEntry>& found, std::vector<std::string>& missing) {
// One line per window: gallery name, title, menu section, entry point, its arguments
// (`host` is the host interface).
#define TESSERA_WINDOW(name, title, group, entry, ...)                                                      \
    if constexpr (requires(IControlerInterface * host) { Lib::entry(__VA_ARGS__); })                        \
        found.push_back({name, title, group, [](IControlerInterface* host) { Lib::entry(__VA_ARGS__); }});    \
    else                                                                                                    \
        AddMissing(missing, #entry);
#define KIND(entry, value) static_cast<decltype(FirstParameter(&Lib::entry))>(value)

    TESSERA_WINDOW("CDlgUnsuperviseClassify", L"非监督分类", 0, ShowUnsuperviseClassifyDlg, host)
    TESSERA_WINDOW("CMinDistanceClassifyDlg", L"最小距离分类", 0, ShowMixDistanceClassifyDlg)
    TESSERA_WINDOW("CDlgSupperviseCommon-1", L"最大似然分类", 0, ShowSupperviseClassifyCommonDlg,
                   KIND(ShowSupperviseClassifyCommonDlg, 1), host)
    TESSERA_WINDOW("CDlgSupperviseCommon-2", L"马氏距离分类", 0, ShowSupperviseClassifyCommonDlg,
                   KIND(ShowSupperviseClassifyCommonDlg, 2), host)
    TESSERA_WINDOW("CDlgSupperviseCommon-3", L"波谱角分类", 0, ShowSupperviseClassifyCommonDlg,
                   KIND(ShowSupperviseClassifyCommonDlg, 3), host)
    TESSERA_WINDOW("CDlgSupperviseCommon-4", L"平行管道分类", 0, ShowSupperviseClassifyCommonDlg,
                   KIND(ShowSupperviseClassifyCommonDlg, 4), host)
    TESSERA_WINDOW("CSvmClassifyDlg", L"支持向量机分类", 0, ShowSvmClassifyDlg, host)
    TESSERA_WINDOW("CBPClassifyDlg", L"BP神经网络", 0, ShowBPClassifyDlg, host)
    TESSERA_WINDOW("CAoiEditorDlg", L"样本编辑器", 1, ShowAOIEditorDlg, host)
    TESSERA_WINDOW("CClassesAccuracyDlg", L"分类精度评价", 2, ShowAccuracyClassifyDlg, host)
    TESSERA_WINDOW("CClassesMergeDlg", L"类别合并", 3, ShowMergeClassifyDlg, host)
    TESSERA_WINDOW("CClassesFilterDlg", L"类别过滤", 3, ShowFilterClassifyDlg)
    TESSERA_WINDOW("CClassesClumpDlg", L"类别聚类", 3, ShowLumpClassifyDlg)
    TESSERA_WINDOW("CClassesStaticsDlg", L"类别统计", 3, ShowStaticsClassifyDlg)
    TESSERA_WINDOW("CClassifyVectorizeDlg", L"分类矢量化", 3, ShowVectorizeClassifyDlg, host)

#undef KIND
#undef TESSERA_WINDOW
}

struct Tables {
    std::vector<WindowEntry> found;
    std::vector<std::string> missing;
    Tables() { Collect<CTesseraUILib>(found, missing); }
};

const Tables& TheTables() {
    static const Tables tables;
    return tables;
}

} // namespace

const std::vector<WindowEntry>& LibraryWindows() { return TheTables().found; }
const std::vector<std::string>& MissingLibraryWindows() { return TheTables().missing; }
