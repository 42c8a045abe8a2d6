// The window-wide drop target: files and folders dropped anywhere on the window, except on
// controls that take drops themselves.
#pragma once

#include <QObject>
#include <QPoint>
#include <QStringList>

class QWidget;

namespace controls {

class DragDrop : public QObject {
    Q_OBJECT
public:
    explicit DragDrop(QWidget* target);

signals:
    // The drop point in the window's client coordinates and every dropped path, in order.
    void Drop(const QPoint& point, const QStringList& paths);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_target;
};

} // namespace controls
