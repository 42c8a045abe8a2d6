#include "CheckBox.h"

#include <QMouseEvent>

namespace controls {

CheckBox::CheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
    connect(this, &QCheckBox::toggled, this, &CheckBox::Click);
}

void CheckBox::mousePressEvent(QMouseEvent* event) {
    if (hitButton(event->position().toPoint()))
        emit MouseDown(event->button());
    QCheckBox::mousePressEvent(event);
}

} // namespace controls
