#include "Led.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRadialGradient>

namespace controls {

Led::Led(QWidget* parent) : QWidget(parent) {
    m_timer.setInterval(BlinkInterval);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        m_lit = !m_lit;
        update();
    });
}

void Led::setActive(bool active) {
    if (active == Active())
        return;
    if (active) {
        m_lit = true; // starts in the on colour
        m_timer.start();
    } else {
        m_timer.stop(); // keeps the colour it shows
    }
    update();
}

QColor Led::color() const {
    return m_lit ? QColor(0, 255, 0) : QColor(255, 0, 0);
}

void Led::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int side = std::min(width(), height()) - 6;
    const QRectF lamp((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    QRadialGradient shine(lamp.center() - QPointF(side / 5.0, side / 5.0), side / 1.5);
    shine.setColorAt(0, color().lighter(170));
    shine.setColorAt(1, color().darker(130));
    painter.setBrush(shine);
    painter.setPen(QPen(QColor(60, 60, 60), 1));
    painter.drawEllipse(lamp);
}

void Led::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit Click();
}

} // namespace controls
