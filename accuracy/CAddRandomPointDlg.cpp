#include "accuracy/CAddRandomPointDlg.h"

#include "common/messages.h"
#include "platform/uiservices.h"

namespace {
constexpr const wchar_t* kCountExceedsSearch = L"随机点个数不能超过最大搜索点个数！";
} // namespace

CAddRandomPointDlg::CAddRandomPointDlg() : XDialog(IDD) {}

bool CAddRandomPointDlg::OnInitDialog() {
    BindUInt(IDC_POINT_COUNT, m_pointCount, std::make_pair(0u, kMaxPointCount));
    BindUInt(IDC_MAX_SEARCH, m_maxSearchCount);
    UpdateData(false);
    CheckDlgButton(IDC_DIST_RANDOM + m_distribution, true);
    return true;
}

void CAddRandomPointDlg::OnOK() {
    // Reads count, distribution and maximum in that order; a refused field
    // stops the reading, and the comparison still runs on what is stored.
    if (UpdateData(true)) {
        for (int id : {IDC_DIST_RANDOM, IDC_DIST_PROPORTIONAL, IDC_DIST_EQUAL})
            if (IsDlgButtonChecked(id))
                m_distribution = id - IDC_DIST_RANDOM;
    }
    if (m_pointCount > m_maxSearchCount) {
        XMessageBox(kCountExceedsSearch, Caption::Error, MB_OK);
        return;
    }
    XDialog::OnOK(); // reads and checks once more, then ends with OK
}
