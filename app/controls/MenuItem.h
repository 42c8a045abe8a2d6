// Actions and menu items. A self-toggling item inverts Checked on a user click and then runs
// its handler; writing Checked from code runs nothing.
#pragma once

#include <QAction>

namespace controls {

class Action : public QAction {
    Q_OBJECT
public:
    Action(const QString& name, const QString& caption, QObject* parent);
    QString Caption() const { return text(); }
    void Execute() { emit OnExecute(); }

signals:
    void OnExecute();
};

class MenuItem : public QAction {
    Q_OBJECT
public:
    MenuItem(const QString& name, const QString& caption, QObject* parent);
    bool Checked() const { return isChecked(); }
    void setCheckedSilently(bool checked) { setChecked(checked); }

signals:
    void Click(); // a user's click only
};

} // namespace controls
