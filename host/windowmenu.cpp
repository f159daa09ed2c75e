#include "host/windowmenu.h"

#include "entry/tesserauilib.h"

const std::vector<WindowEntry>& LibraryWindows() {
    using Lib = CTesseraUILib;
    const auto kind = [](int value) { return static_cast<SuperviseClassifyType>(value); };
    // Gallery name, title, menu section, how the entry point is called.
    static const std::vector<WindowEntry> windows{
        {"CDlgUnsuperviseClassify", L"非监督分类", 0,
         [](IControlerInterface* h) { Lib::ShowUnsuperviseClassifyDlg(h); }},
        {"CMinDistanceClassifyDlg", L"最小距离分类", 0,
         [](IControlerInterface*) { Lib::ShowMixDistanceClassifyDlg(); }},
        {"CDlgSupperviseCommon-1", L"最大似然分类", 0,
         [kind](IControlerInterface* h) { Lib::ShowSupperviseClassifyCommonDlg(kind(1), h); }},
        {"CDlgSupperviseCommon-2", L"马氏距离分类", 0,
         [kind](IControlerInterface* h) { Lib::ShowSupperviseClassifyCommonDlg(kind(2), h); }},
        {"CDlgSupperviseCommon-3", L"波谱角分类", 0,
         [kind](IControlerInterface* h) { Lib::ShowSupperviseClassifyCommonDlg(kind(3), h); }},
        {"CDlgSupperviseCommon-4", L"平行管道分类", 0,
         [kind](IControlerInterface* h) { Lib::ShowSupperviseClassifyCommonDlg(kind(4), h); }},
        {"CSvmClassifyDlg", L"支持向量机分类", 0, [](IControlerInterface* h) { Lib::ShowSvmClassifyDlg(h); }},
        {"CBPClassifyDlg", L"BP神经网络", 0, [](IControlerInterface* h) { Lib::ShowBPClassifyDlg(h); }},
        {"CRandomForestDlg", L"随机森林分类", 0,
         [](IControlerInterface* h) { Lib::ShowRandomForestClassifyDlg(h); }},
        {"CAoiEditorDlg", L"样本编辑器", 1, [](IControlerInterface* h) { Lib::ShowAOIEditorDlg(h); }},
        {"CClassesAccuracyDlg", L"分类精度评价", 2,
         [](IControlerInterface* h) { Lib::ShowAccuracyClassifyDlg(h); }},
        {"CClassesMergeDlg", L"类别合并", 3, [](IControlerInterface* h) { Lib::ShowMergeClassifyDlg(h); }},
        {"CClassesFilterDlg", L"类别过滤", 3, [](IControlerInterface*) { Lib::ShowFilterClassifyDlg(); }},
        {"CClassesClumpDlg", L"类别聚类", 3, [](IControlerInterface*) { Lib::ShowLumpClassifyDlg(); }},
        {"CClassesStaticsDlg", L"类别统计", 3, [](IControlerInterface*) { Lib::ShowStaticsClassifyDlg(); }},
        {"CClassifyVectorizeDlg", L"分类矢量化", 3,
         [](IControlerInterface* h) { Lib::ShowVectorizeClassifyDlg(h); }},
    };
    return windows;
}
