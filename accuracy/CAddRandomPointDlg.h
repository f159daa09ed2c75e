#pragma once
// The random point dialog (template 6021): how many check points to draw.
// Only the irregular distribution exists; the maximum search count only
// bounds the point count.

#include "platform/xdialog.h"

class CAddRandomPointDlg : public XDialog {
public:
    enum { IDD = 6021 };
    enum : int {
        IDC_POINT_COUNT = 1001,
        IDC_DIST_RANDOM = 1002,
        IDC_DIST_PROPORTIONAL = 1003,
        IDC_DIST_EQUAL = 1004,
        IDC_VIEW_CLASSES = 1005,
        IDC_MAX_SEARCH = 1006,
    };
    static constexpr unsigned kMaxPointCount = 1000000;

    CAddRandomPointDlg();

    unsigned m_pointCount = 256;
    int m_distribution = 0;
    unsigned m_maxSearchCount = 1024;

protected:
    bool OnInitDialog() override;
    void OnOK() override;
};
