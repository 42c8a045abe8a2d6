// What the file list and the folder list show of a folder, for the window and the console alike.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

namespace listing {

// The files of `folder` the file list shows: not hidden, not system, with a dot in their name
// (the list's own "*.*"), in the order of the user's language, case aside. `onLongListing` is
// called once, when the listing passes 100 names.
QStringList FileNames(const QString& folder, const std::function<void()>& onLongListing = {});

// The sub-folders of `folder` the folder list shows: not hidden, not system, in the same order.
QStringList SubFolderNames(const QString& folder);

// `folder` and `name` with one delimiter between them.
QString Joined(const QString& folder, const QString& name);

} // namespace listing
