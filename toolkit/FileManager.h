// Shows a folder in the desktop's file manager, never in this program itself.
#pragma once

#include <QObject>
#include <QUrl>

namespace filemanager {

// Opens a folder with the desktop's handler for folders, passing over this program when it is
// one of them (its desktop entry offers to open folders). False, silently, when nothing else
// can: a run's end has nothing to say about a desktop without a file manager.
// `failure`, when given, gets why the last handler tried could not start (for a log).
bool OpenFolder(const QString& folder, QString* failure = nullptr);

// Takes QDesktopServices' local files for OpenFolder, for the whole program.
class Opener : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url);
};

} // namespace filemanager
