#include "Gauge.h"

#include <QPainter>

namespace controls {

Gauge::Gauge(QWidget* parent) : QWidget(parent) {}

void Gauge::setMinValue(int value) {
    m_min = value;
    if (m_progress < m_min)
        m_progress = m_min;
    update();
}

void Gauge::setMaxValue(int value) {
    m_max = value;
    if (m_progress > m_max)
        m_progress = m_max;
    update();
}

void Gauge::setProgress(int value) {
    m_progress = std::clamp(value, m_min, std::max(m_min, m_max));
    update();
}

int Gauge::PercentDone() const {
    if (m_max == m_min)
        return 0;
    return static_cast<int>(100LL * (m_progress - m_min) / (static_cast<long long>(m_max) - m_min));
}

QString Gauge::text() const {
    return QString::asprintf("%d%%", PercentDone());
}

void Gauge::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect frame = rect().adjusted(0, 0, -1, -1);
    painter.fillRect(frame, m_back);
    QRect bar = frame.adjusted(1, 1, 0, 0);
    bar.setWidth(bar.width() * PercentDone() / 100);
    painter.fillRect(bar, m_fore);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(frame, Qt::AlignCenter, text());
}

} // namespace controls
