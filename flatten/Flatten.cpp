#include "Flatten.h"

#include <QFileInfo>

#include "StopRequest.h"
#include "outil32_DIR.h"
#include "outil32_Dialogs.h"
#include "outil32_FILE.h"
#include "outil32_WIN.h"
#include "outil32_math.h"
#include "platform_convert.h"

namespace flatten {

namespace {

using ordalix::PathDelim;
namespace platform = ordalix::platform;

// True while a flatten command runs: its walk handles the window's messages, and a second walk
// started from there would move files under the first one's feet.
bool g_running = false;

QString withDelimiter(const QString& folder) {
    return folder.endsWith(PathDelim) ? folder : folder + PathDelim;
}

bool hasAttribute(std::uint32_t attributes, std::uint32_t flag) {
    return HasFlags(static_cast<int>(attributes), static_cast<int>(flag));
}

// Hidden and system folders are left alone, and so are links to folders: they may loop, or
// lead out of the tree and pull in files that do not belong to it.
bool isWalkedFolder(const platform::FindData& entry) {
    return hasAttribute(entry.attributes, platform::FileAttributeDirectory) &&
           !hasAttribute(entry.attributes, platform::FileAttributeReparsePoint) &&
           !hasAttribute(entry.attributes, platform::FileAttributeHidden) &&
           !hasAttribute(entry.attributes, platform::FileAttributeSystem) && entry.name != u"." &&
           entry.name != u"..";
}

// Anything at the path, a dangling link included.
bool occupied(const QFileInfo& info) {
    return info.exists() || info.isSymLink();
}

// A name in `folder` where nothing lies yet.
QString freeName(const QString& folder) {
    for (int n = 0;; ++n) {
        QString candidate = folder + QStringLiteral(".ordalix-move-%1").arg(n);
        if (!occupied(QFileInfo(candidate)))
            return candidate;
    }
}

// The command's run marker and its end step, on every way out.
class Run {
public:
    explicit Run(FlattenWindow& window) : m_window(window) { g_running = true; }
    ~Run() {
        m_window.hideGauge();
        g_running = false;
    }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

private:
    FlattenWindow& m_window;
};

class HourGlass {
public:
    HourGlass() { SetScreenCursor(crHourGlass); }
    ~HourGlass() { SetScreenCursor(crDefault); }
    HourGlass(const HourGlass&) = delete;
    HourGlass& operator=(const HourGlass&) = delete;
};

} // namespace

bool MoveIntoFolder(const QString& source, const QString& folder, const QString& name) {
    const QString destination = folder + name;
    if (destination == source)
        return FileMoveReplace(source, destination); // the file stays as it is
    const QFileInfo there(destination);
    if (!occupied(there))
        return FileMoveReplace(source, destination);
    if (there.isDir() && !there.isSymLink())
        return false; // a folder is never replaced by a file
    if (SnapshotFile(destination).sameFileAs(SnapshotFile(source)))
        return true; // already there under that name (a link or another name of the file)
    // The file is parked beside its destination first: if it cannot move, the file it would
    // replace has not gone to the trash for nothing.
    const QString parked = freeName(folder);
    if (!FileMoveReplace(source, parked))
        return false;
    if (RecycleFile(destination) && FileMoveReplace(parked, destination))
        return true;
    FileMoveReplace(parked, source);
    return false;
}

void DeOrdalixExecute(FlattenWindow& window) {
    // No folder chosen yet: with a delimiter appended, the empty text would name the root of
    // the whole file system.
    if (g_running || window.TopFolder().isEmpty())
        return;
    Run run(window);
    window.setStatusTag(0);
    StopRequested = false;
    int counted = 0;
    CountAllFiles(withDelimiter(window.TopFolder()), AllFilesMask, counted);
    const QString question =
        QStringLiteral("Extraire les %1 fichiers contenus dans l'arborescence de :").arg(counted) +
        QStringLiteral("\r\n\r\n") + ExeNames::fileName(window.TopFolder());
    if (!ConfirmDlg(question, mtConfirmation))
        return;
    window.setGaugeMaxValue(counted);
    window.setGaugeMinValue(0);
    window.setGaugeProgress(0);
    window.showGauge();
    ExtraireArborescence(window, window.TopFolder(), AllFilesMask);
    window.setGaugeProgress(window.gaugeMaxValue());
    InfoDlg(QStringLiteral("%1 fichiers présents ou déplacés dans %2\r\n\r\nVous pouvez supprimer "
                           "les dossiers vides si vous le désirez")
                .arg(QString::number(window.StatusTag()), window.TopFolder()));
    window.selectFirstTabs();
    window.updateFileList();
    window.clickExplore();
}

bool ExtraireArborescence(FlattenWindow& window, const QString& folder, const QString& mask) {
    StopRequested = false; // a key pressed during the count or the question is dropped
    HourGlass cursor;
    QString path = withDelimiter(folder);
    return ExtraireDossier(window, path, mask, path.size());
}

bool ExtraireDossier(FlattenWindow& window, QString& path, const QString& mask,
                     qsizetype topLength) {
    const qsizetype length = path.size();
    {
        // The folder in hand, as the status line shows it.
        const QString shown =
            length > topLength ? path.mid(topLength, length - topLength - 1) : QString();
        const QString before = QStringLiteral(" - [") + shown + QStringLiteral("]=>");
        platform::FindHandle search;
        platform::FindData entry;
        for (bool found = search.findFirst(ordalix::toPlatformPath(path + mask), entry, false);
             found; found = search.findNext(entry)) {
            const QString name = ordalix::fromPlatformPath(entry.name);
            path += name;
            if (IsFile(path)) {
                const int moved = window.StatusTag();
                window.setPanelText(0, QString::number(moved) + before + name);
                if (MoveIntoFolder(path, withDelimiter(window.TopFolder()), name)) {
                    window.setStatusTag(moved + 1);
                    window.setGaugeProgress(window.gaugeProgress() + 1);
                }
            }
            path.truncate(length);
        }
    }
    ProcessMessages();
    bool goOn = !StopRequested && !ApplicationTerminated();
    platform::FindHandle search;
    platform::FindData entry;
    for (bool found =
             goOn && search.findFirst(ordalix::toPlatformPath(path + AllFilesMask), entry, false);
         found && goOn; found = search.findNext(entry)) {
        if (!isWalkedFolder(entry))
            continue;
        path += ordalix::fromPlatformPath(entry.name) + PathDelim;
        goOn = ExtraireDossier(window, path, mask, topLength);
        path.truncate(length);
    }
    return goOn;
}

} // namespace flatten
