#include "host/signatureplot.h"

#include "engine/classifysamplefile.h"
#include "platform/translation.h"

#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

std::vector<SignatureCurve> SignatureCurves(const CClassifySampleFile& samples) {
    std::vector<SignatureCurve> curves;
    for (const ClassifySample* sample : samples.m_samples) {
        SignatureCurve curve{sample->m_name, sample->m_colour, {}, {}};
        const size_t bands = std::min<size_t>(std::max(0, sample->m_bandCount), sample->m_mean.size());
        for (size_t b = 0; b < bands; ++b) {
            const size_t diagonal = b * bands + b;
            const double variance =
                diagonal < sample->m_covariance.size() ? sample->m_covariance[diagonal] : 0;
            curve.mean.push_back(sample->m_mean[b]);
            curve.stddev.push_back(std::sqrt(std::max(0.0, variance)));
        }
        curves.push_back(std::move(curve));
    }
    return curves;
}

SignaturePlot::SignaturePlot(std::vector<SignatureCurve> curves, QWidget* parent)
    : QWidget(parent), m_curves(std::move(curves)) {
    bool any = false;
    for (const SignatureCurve& c : m_curves) {
        m_bands = std::max(m_bands, static_cast<int>(c.mean.size()));
        for (size_t b = 0; b < c.mean.size(); ++b) {
            const double low = c.mean[b] - c.stddev[b], high = c.mean[b] + c.stddev[b];
            m_low = any ? std::min(m_low, low) : low;
            m_high = any ? std::max(m_high, high) : high;
            any = true;
        }
    }
    if (m_high <= m_low)
        m_high = m_low + 1.0;
    setMinimumSize(480, 320);
    setAutoFillBackground(true);
    setPalette(QPalette(Qt::white));
}

QRectF SignaturePlot::plotArea() const {
    // Room for the value labels on the left, the band numbers below and the legend on the right.
    return QRectF(60, 20, std::max(40, width() - 60 - 150), std::max(40, height() - 20 - 40));
}

QPointF SignaturePlot::PlotPoint(int band, double value) const {
    const QRectF area = plotArea();
    const double x =
        m_bands > 1 ? area.left() + (band - 1) * area.width() / (m_bands - 1) : area.center().x();
    return {x, area.bottom() - (value - m_low) / (m_high - m_low) * area.height()};
}

void SignaturePlot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF area = plotArea();
    painter.setPen(Qt::black);
    painter.drawRect(area);
    for (int i = 0; i <= 4; ++i) {
        const double value = m_low + (m_high - m_low) * i / 4;
        const QPointF at = PlotPoint(1, value);
        painter.drawText(QRectF(0, at.y() - 8, area.left() - 6, 16), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(value, 'g', 5));
    }
    for (int band = 1; band <= m_bands; ++band) {
        const QPointF at = PlotPoint(band, m_low);
        painter.drawText(QRectF(at.x() - 20, area.bottom() + 4, 40, 16), Qt::AlignCenter,
                         QString::number(band));
    }
    painter.drawText(QRectF(area.left(), area.bottom() + 20, area.width(), 16), Qt::AlignCenter,
                     Translate(QStringLiteral("波段")));
    double legendY = area.top();
    for (const SignatureCurve& c : m_curves) {
        const QColor colour(GetRValue(c.colour), GetGValue(c.colour), GetBValue(c.colour));
        QPainterPath spread, line;
        for (size_t b = 0; b < c.mean.size(); ++b) {
            const QPointF top = PlotPoint(static_cast<int>(b) + 1, c.mean[b] + c.stddev[b]);
            b == 0 ? spread.moveTo(top) : spread.lineTo(top);
            const QPointF mean = PlotPoint(static_cast<int>(b) + 1, c.mean[b]);
            b == 0 ? line.moveTo(mean) : line.lineTo(mean);
        }
        for (size_t b = c.mean.size(); b-- > 0;)
            spread.lineTo(PlotPoint(static_cast<int>(b) + 1, c.mean[b] - c.stddev[b]));
        spread.closeSubpath();
        QColor shade = colour;
        shade.setAlpha(60);
        painter.fillPath(spread, shade);
        painter.setPen(QPen(colour, 2));
        painter.drawPath(line);
        painter.fillRect(QRectF(area.right() + 12, legendY + 4, 12, 8), colour);
        painter.setPen(Qt::black);
        painter.drawText(QPointF(area.right() + 30, legendY + 12), QString::fromStdWString(c.name));
        legendY += 18;
    }
}
