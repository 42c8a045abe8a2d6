#include "FolderListing.h"

#include <QCollator>

#include <algorithm>

#include "outil32_math.h"
#include "platform_convert.h"

namespace listing {

namespace {

using ordalix::PathDelim;
namespace platform = ordalix::platform;

bool shown(std::uint32_t attributes) {
    const int flags = static_cast<int>(attributes);
    return !HasFlags(flags, platform::FileAttributeHidden) &&
           !HasFlags(flags, platform::FileAttributeSystem);
}

void sortForPeople(QStringList& names) {
    // A fresh collator each time: a copied one loses its settings.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), [&collator](const QString& a, const QString& b) {
        return collator.compare(a, b) < 0;
    });
}

} // namespace

QString Joined(const QString& folder, const QString& name) {
    return folder.endsWith(PathDelim) ? folder + name : folder + PathDelim + name;
}

QStringList FileNames(const QString& folder, const std::function<void()>& onLongListing) {
    QStringList names;
    platform::FindHandle search;
    platform::FindData entry;
    for (bool found =
             search.findFirst(ordalix::toPlatformPath(folder + PathDelim + u'*'), entry, false);
         found; found = search.findNext(entry)) {
        if (HasFlags(static_cast<int>(entry.attributes), platform::FileAttributeDirectory) ||
            !shown(entry.attributes))
            continue;
        // The list's own "*.*": the dot is a character to match, so a name needs one.
        if (entry.name.find(u'.') == platform::Path::npos)
            continue;
        names.append(ordalix::fromPlatformPath(entry.name));
        if (names.size() == 101 && onLongListing)
            onLongListing();
    }
    sortForPeople(names);
    return names;
}

QStringList SubFolderNames(const QString& folder) {
    QStringList names;
    platform::FindHandle search;
    platform::FindData entry;
    for (bool found = search.findFirst(ordalix::toPlatformPath(Joined(folder, QStringLiteral("*"))),
                                       entry, false);
         found; found = search.findNext(entry)) {
        if (!HasFlags(static_cast<int>(entry.attributes), platform::FileAttributeDirectory) ||
            !shown(entry.attributes) || entry.name == u"." || entry.name == u"..")
            continue;
        names.append(ordalix::fromPlatformPath(entry.name));
    }
    sortForPeople(names);
    return names;
}

} // namespace listing
