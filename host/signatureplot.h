#pragma once
// The spectral-signature plot of a sample file: each class's mean per band
// with a band of plus and minus one standard deviation around it, in the
// class's colour, so overlapping classes show at a glance.

#include "base/wintypes.h"

#include <QWidget>

#include <string>
#include <vector>

class CClassifySampleFile;

struct SignatureCurve {
    std::wstring name;
    COLORREF colour = 0;
    std::vector<double> mean;   // one per band
    std::vector<double> stddev; // one per band: the square root of the band's variance
};

// The curves of every sample of the file, in file order.
std::vector<SignatureCurve> SignatureCurves(const CClassifySampleFile& samples);

class SignaturePlot : public QWidget {
    Q_OBJECT
public:
    explicit SignaturePlot(std::vector<SignatureCurve> curves, QWidget* parent = nullptr);
    const std::vector<SignatureCurve>& Curves() const { return m_curves; }
    // Where a band's value lands in the widget (bands from 1).
    QPointF PlotPoint(int band, double value) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF plotArea() const;

    std::vector<SignatureCurve> m_curves;
    int m_bands = 0;
    double m_low = 0.0, m_high = 1.0; // the value axis
};
