#include "outil32_WIN.h"

#include <QCoreApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

#include "platform_convert.h"

namespace {

QString g_executablePathOverride;
bool g_terminated = false;

// Notices a quit request however it came (our call, the last window closing, the session).
class QuitWatcher : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Quit && watched == QCoreApplication::instance())
            g_terminated = true;
        return false;
    }
};

void watchQuit() {
    static QuitWatcher* watcher = nullptr;
    if (!watcher && QCoreApplication::instance()) {
        watcher = new QuitWatcher;
        watcher->setParent(QCoreApplication::instance());
        QCoreApplication::instance()->installEventFilter(watcher);
    }
}

bool filesIgnoreCase() {
#ifdef _WIN32
    return true;
#else
    return false;
#endif
}

} // namespace

namespace ExeNames {

namespace {
// Position of the last delimiter, or of the drive's colon where paths have drives.
qsizetype lastSeparator(const QString& path) {
    const qsizetype delimiter = path.lastIndexOf(ordalix::PathDelim);
    return filesIgnoreCase() ? std::max(delimiter, path.lastIndexOf(u':')) : delimiter;
}
} // namespace

QString fileName(const QString& path) {
    return path.mid(lastSeparator(path) + 1);
}

qsizetype extensionStart(const QString& path) {
    // A name's leading dot (".tool") starts the name, not an extension.
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > lastSeparator(path) + 1 ? dot : -1;
}

QString baseName(const QString& path) {
    const qsizetype ext = extensionStart(path);
    const QString name = ext < 0 ? path : path.left(ext);
    return fileName(name);
}

QString folder(const QString& path) {
    return path.left(path.size() - fileName(path).size());
}

QString title(const QString& path) {
    const QString name = fileName(path);
    const QString head = name.left(name.indexOf(u'.') < 0 ? name.size() : name.indexOf(u'.'));
    return head.left(1) + asciiLower(head.mid(1));
}

QString asciiUpper(const QString& text) {
    QString result = text;
    for (QChar& c : result) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - 32);
    }
    return result;
}

QString asciiLower(const QString& text) {
    QString result = text;
    for (QChar& c : result) {
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    }
    return result;
}

void setExecutablePathForTesting(const QString& path) {
    g_executablePathOverride = path;
}

QString executablePath() {
    if (!g_executablePathOverride.isEmpty())
        return g_executablePathOverride;
    return ordalix::fromPlatformPath(ordalix::platform::executablePath());
}

} // namespace ExeNames

QString ExeNameUpper() {
    return ExeName(true);
}

QString ExeFolder() {
    const QString folder = ExeNames::folder(ExeNames::executablePath());
    return filesIgnoreCase() ? ExeNames::asciiLower(folder) : folder;
}

QString ExeName(bool upper) {
    const QString name = ExeNames::baseName(ExeNames::executablePath());
    return upper ? ExeNames::asciiUpper(name) : name;
}

QString ApplicationTitle() {
    return ExeNames::title(ExeNames::executablePath());
}

void ProcessMessages() {
    watchQuit();
    QCoreApplication::processEvents();
}

void RunMessagePump::whenDue(const std::function<void()>& beforePump) {
    if (m_last.isValid() && m_last.elapsed() < 15)
        return;
    if (beforePump)
        beforePump();
    ProcessMessages();
    m_last.start();
}

bool ApplicationTerminated() {
    return g_terminated;
}

void ClearApplicationTerminatedForTesting() {
    g_terminated = false;
}

void TerminateApplication() {
    watchQuit();
    g_terminated = true;
    QCoreApplication::quit();
}

void SetScreenCursor(TCursor cursor) {
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return;
    if (cursor == crHourGlass) {
        if (QGuiApplication::overrideCursor())
            QGuiApplication::changeOverrideCursor(QCursor(Qt::WaitCursor));
        else
            QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
        return;
    }
    while (QGuiApplication::overrideCursor())
        QGuiApplication::restoreOverrideCursor();
}

bool ShellOpenFolder(const QString& folder) {
    // Through QDesktopServices, so that a program (or a test) can take local files over; the
    // window hands them to filemanager::OpenFolder, which never picks this program.
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}
