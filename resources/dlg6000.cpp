// Template 6000: the unsupervised classification window.
#include "base/wintypes.h"
#include "classify/CDlgUnsuperviseClassify.h"
#include "entry/tesseramodule.h"

namespace {

using D = CDlgUnsuperviseClassify;

DialogTemplate unsupervisedTemplate() {
    DialogTemplate d;
    d.id = D::IDD;
    d.title = L"非监督分类";
    d.width = 460;
    d.height = 420;
    constexpr int labelX = 14, labelW = 150, editX = 168, editW = 120, rowH = 24, step = 32;
    int y = 118; // first parameter row, below the method group
    auto row = [&](const wchar_t* label, int id, const wchar_t* text, unsigned style) {
        std::vector<ControlTemplate> r = {{ControlKind::Label, -1, label, labelX, y, labelW, rowH},
                                          {ControlKind::Edit, id, text, editX, y, editW, rowH, style}};
        y += step;
        return r;
    };

    d.controls = {
        {ControlKind::Label, -1, L"输入影像文件:", labelX, 14, 110, rowH},
        {ControlKind::SortedComboBox, D::IDC_INPUT_LIST, L"", 128, 14, 270, rowH},
        {ControlKind::Button, D::IDC_INPUT_BROWSE, L"...", 406, 14, 40, rowH},
        {ControlKind::GroupBox, -1, L"分类方法", labelX, 50, 432, 56},
        {ControlKind::RadioButton, D::IDC_METHOD_KMEANS, L"K均值", 34, 74, 120, 22, CS_GROUP},
        {ControlKind::RadioButton, D::IDC_METHOD_ISODATA, L"ISODATA", 188, 74, 120, 22},
    };
    // The fields start at the parameters' declared defaults.
    const UnsupervisedSetup::FieldTexts initial;
    for (auto rows :
         {row(L"分类类别数:", D::IDC_CLASS_COUNT, initial.classCount.c_str(), 0),
          row(L"收敛阈值:", D::IDC_THRESHOLD, initial.threshold.c_str(), 0),
          row(L"迭代次数:", D::IDC_ITERATIONS, initial.iterations.c_str(), 0),
          row(L"类间最小距离:", D::IDC_MIN_DISTANCE, initial.minClassDistance.c_str(), CS_READONLY),
          row(L"最多合并对数:", D::IDC_MERGE_PAIRS, initial.maxMergePairs.c_str(), CS_READONLY),
          row(L"最少的像素数:", D::IDC_MIN_PIXELS, initial.minPixelCount.c_str(), CS_READONLY),
          row(L"样本距离分布标准差:", D::IDC_STD_DEV, initial.stdDev.c_str(), CS_READONLY)})
        d.controls.insert(d.controls.end(), rows.begin(), rows.end());
    y += 8;
    d.controls.push_back({ControlKind::Label, -1, L"输出影像文件:", labelX, y, 110, rowH});
    d.controls.push_back({ControlKind::Edit, D::IDC_OUTPUT_PATH, L"", 128, y, 270, rowH});
    d.controls.push_back({ControlKind::Button, D::IDC_OUTPUT_BROWSE, L"...", 406, y, 40, rowH});
    y += 46;
    constexpr int buttonW = 90, buttonH = 28, gap = 24;
    int x = labelX;
    d.controls.push_back({ControlKind::DefaultButton, IDOK, L"确定", x, y, buttonW, buttonH});
    x += buttonW + gap;
    d.controls.push_back({ControlKind::Button, D::IDC_AOI, L"样区", x, y, buttonW, buttonH});
    x += buttonW + gap;
    d.controls.push_back({ControlKind::Button, IDCANCEL, L"取消", x, y, buttonW, buttonH});
    x += buttonW + gap;
    d.controls.push_back({ControlKind::Button, D::IDC_HELP_BUTTON, L"帮助", x, y, buttonW, buttonH});
    d.height = y + buttonH + 16;
    return d;
}

const TemplateRegistrar registrar(unsupervisedTemplate());

} // namespace
