#include "outil32_DIR.h"

#include "outil32_Dialogs.h"
#include "outil32_WIN.h"
#include "outil32_math.h"
#include "platform_convert.h"

using namespace ordalix;

namespace {

std::uint32_t attributesOf(const QString& path) {
    return platform::getFileAttributes(toPlatformPath(path));
}

bool hasAttribute(std::uint32_t attributes, std::uint32_t flag) {
    return HasFlags(static_cast<int>(attributes), static_cast<int>(flag));
}

bool isRealFolder(const platform::FindData& entry) {
    // A link to a folder is not entered: it may loop or lead out of the tree.
    return hasAttribute(entry.attributes, platform::FileAttributeDirectory) &&
           !hasAttribute(entry.attributes, platform::FileAttributeReparsePoint) &&
           entry.name != u"." && entry.name != u"..";
}

bool isHiddenOrSystem(const platform::FindData& entry) {
    return hasAttribute(entry.attributes, platform::FileAttributeHidden) ||
           hasAttribute(entry.attributes, platform::FileAttributeSystem);
}

} // namespace

bool CreateDir(const QString& folder) {
    if (folder.isEmpty()) {
        ShowMessage(
            QStringLiteral("OUTIL32_DIR : CreateDir \r\nLe nom de dossier ne peut êre vide"));
        return false;
    }
    if (IsFolder(folder))
        return true;
    // Every level from the top down; a trailing delimiter, or two in a row, adds no level.
    for (qsizetype at = folder.indexOf(PathDelim, 1); at >= 0;
         at = folder.indexOf(PathDelim, at + 1)) {
        const QString level = folder.left(at);
        if (!level.endsWith(PathDelim) && !IsFolder(level))
            platform::createDirectory(toPlatformPath(level));
    }
    if (!IsFolder(folder))
        platform::createDirectory(toPlatformPath(folder));
    if (IsFolder(folder))
        return true;
    ShowMessage(QStringLiteral("Echec de création du dossier \r\n\r\nDOSSIER=\"") + folder + u'"');
    return false;
}

bool CountAllFiles(const QString& folder, const QString& mask, int& counter) {
    SetScreenCursor(crHourGlass);
    QString path = folder;
    bool complete = false;
    try {
        complete = CountFilesTree(path, counter, mask);
    } catch (...) {
        SetScreenCursor(crDefault);
        throw;
    }
    SetScreenCursor(crDefault);
    return complete;
}

bool CountFilesTree(QString& path, int& counter, const QString& mask) {
    const qsizetype length = path.size();
    {
        platform::FindHandle search;
        platform::FindData entry;
        for (bool found = search.findFirst(toPlatformPath(path + mask), entry, false); found;
             found = search.findNext(entry)) {
            if (!hasAttribute(entry.attributes, platform::FileAttributeDirectory))
                ++counter;
        }
    }
    ProcessMessages();
    if (ApplicationTerminated())
        return false;
    platform::FindHandle search;
    platform::FindData entry;
    bool result = true;
    for (bool found = search.findFirst(toPlatformPath(path + QStringLiteral("*.*")), entry, false);
         found && result; found = search.findNext(entry)) {
        if (isHiddenOrSystem(entry) || !isRealFolder(entry))
            continue;
        path += fromPlatformPath(entry.name) + PathDelim;
        result = CountFilesTree(path, counter, mask);
        path.truncate(length);
    }
    return result;
}

bool IsFolder(const QString& path) {
    const std::uint32_t attributes = attributesOf(path);
    return attributes != platform::InvalidFileAttributes &&
           hasAttribute(attributes, platform::FileAttributeDirectory);
}

bool IsFile(const QString& path) {
    const std::uint32_t attributes = attributesOf(path);
    return attributes != platform::InvalidFileAttributes &&
           !hasAttribute(attributes, platform::FileAttributeDirectory);
}
