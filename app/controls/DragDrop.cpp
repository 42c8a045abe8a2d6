#include "DragDrop.h"

#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

namespace controls {

DragDrop::DragDrop(QWidget* target) : QObject(target), m_target(target) {
    target->setAcceptDrops(true);
    target->installEventFilter(this);
}

bool DragDrop::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_target)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDropEvent*>(event);
        if (drag->mimeData()->hasUrls())
            drag->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        QStringList paths;
        for (const QUrl& url : drop->mimeData()->urls()) {
            if (url.isLocalFile())
                paths.append(QDir::toNativeSeparators(url.toLocalFile()));
        }
        if (paths.isEmpty())
            return false;
        drop->acceptProposedAction();
        emit Drop(drop->position().toPoint(), paths);
        return true;
    }
    default:
        return false;
    }
}

} // namespace controls
