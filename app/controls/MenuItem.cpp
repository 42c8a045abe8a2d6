#include "MenuItem.h"

namespace controls {

Action::Action(const QString& name, const QString& caption, QObject* parent)
    : QAction(caption, parent) {
    setObjectName(name);
    connect(this, &QAction::triggered, this, &Action::Execute);
}

MenuItem::MenuItem(const QString& name, const QString& caption, QObject* parent)
    : QAction(caption, parent) {
    setObjectName(name);
    // triggered comes from the user (or trigger()), never from setChecked.
    connect(this, &QAction::triggered, this, &MenuItem::Click);
}

} // namespace controls
