#include "Button.h"

#include "MenuItem.h"

namespace controls {

Button::Button(QWidget* parent) : QPushButton(parent) {}

void Button::setCaption(const QString& caption) {
    m_caption = caption;
    QString shown = caption;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    setText(shown);
}

void Button::setAction(Action* action) {
    setCaption(action->Caption());
    connect(this, &QPushButton::clicked, action, &Action::Execute);
}

} // namespace controls
