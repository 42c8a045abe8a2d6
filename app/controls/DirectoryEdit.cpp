#include "DirectoryEdit.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "outil32_DIR.h"
#include "outil32_Dialogs.h"
#include "platform_convert.h"

namespace controls {

using ordalix::PathDelim;

DirectoryEdit::DirectoryEdit(QWidget* parent) : QLineEdit(parent) {
    setReadOnly(true);
    setAcceptDrops(true);
    QAction* button =
        addAction(QIcon(QStringLiteral(":/images/folder-open.svg")), QLineEdit::TrailingPosition);
    button->setObjectName(QStringLiteral("browse"));
    button->setToolTip(QStringLiteral("Parcourir"));
    connect(button, &QAction::triggered, this, &DirectoryEdit::browse);
}

QString DirectoryEdit::Directory() const {
#ifdef _WIN32
    return ordalix::wholePath(text());
#else
    return text();
#endif
}

void DirectoryEdit::setDirectory(const QString& given) {
    // The folder enters the runs here, from the keyboard, the chooser or a drop: in the
    // system's own form from here on.
    const QString folder = QDir::toNativeSeparators(given);
    if (folder == text())
        return;
    setText(folder);
    emit Change();
}

void DirectoryEdit::browse() {
    QString start = text();
    if (start.isEmpty())
        start = m_initialDir;
    if (!IsFolder(start))
        start = QString(PathDelim);
    const QString chosen = Dialogs::presenter().chooseFolder(start, m_dialogText);
    if (chosen.isEmpty())
        return;
    m_initialDir = chosen;
    setDirectory(chosen);
}

QString DirectoryEdit::dropTarget(const QStringList& paths) {
    if (paths.isEmpty())
        return {};
    QString item = paths.first();
    if (IsFile(item))
        item = item.left(item.lastIndexOf(PathDelim) + 1);
    // One trailing delimiter goes, but the root keeps its only one.
    if (item.size() > 1 && item.endsWith(PathDelim))
        item.chop(1);
    return item;
}

void DirectoryEdit::mouseDoubleClickEvent(QMouseEvent* event) {
    QLineEdit::mouseDoubleClickEvent(event);
    emit DblClick();
}

void DirectoryEdit::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void DirectoryEdit::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void DirectoryEdit::dropEvent(QDropEvent* event) {
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile())
            paths.append(QDir::toNativeSeparators(url.toLocalFile()));
    }
    if (paths.isEmpty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    setDirectory(dropTarget(paths));
}

} // namespace controls
