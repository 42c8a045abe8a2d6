#include "CaptionPanel.h"

#include <QBoxLayout>
#include <QPainter>

namespace controls {

CaptionPanel::CaptionPanel(const QString& caption, Position position, QWidget* parent)
    : QWidget(parent), m_caption(caption), m_position(position) {
    m_body = new QHBoxLayout(this);
    if (position == Left)
        m_body->setContentsMargins(StripSize + 2, 2, 2, 2);
    else
        m_body->setContentsMargins(2, StripSize + 2, 2, 2);
    m_body->setSpacing(0);
}

QRect CaptionPanel::strip() const {
    return m_position == Left ? QRect(0, 0, StripSize, height()) : QRect(0, 0, width(), StripSize);
}

void CaptionPanel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const QRect band = strip();
    QLinearGradient fill(band.topLeft(), m_position == Left ? band.bottomLeft() : band.topRight());
    fill.setColorAt(0, QColor(0, 84, 166));
    fill.setColorAt(1, QColor(86, 156, 224));
    painter.fillRect(band, fill);
    painter.setPen(QColor(160, 160, 160));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));

    QFont font = this->font();
    font.setBold(true);
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(Qt::white);
    if (m_position == Top) {
        painter.drawText(band.adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter, m_caption);
        return;
    }
    // Read from bottom to top along the left strip.
    painter.translate(band.left(), band.bottom());
    painter.rotate(-90);
    painter.drawText(QRect(6, 0, band.height() - 12, band.width()),
                     Qt::AlignLeft | Qt::AlignVCenter, m_caption);
}

} // namespace controls
