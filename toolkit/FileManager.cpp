#include "FileManager.h"

#include <QCoreApplication>
#include <QFileInfo>

#ifndef _WIN32
// GIO names a structure member "signals", which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gio/gio.h>
#pragma pop_macro("signals")
#else
#include <QDesktopServices>
#endif

namespace filemanager {

namespace {

#ifndef _WIN32
// This program, by its desktop entry or by the program the entry starts.
bool isSelf(GAppInfo* app) {
    const QString id = QString::fromUtf8(g_app_info_get_id(app));
    if (id.startsWith(QStringLiteral("ordalix"), Qt::CaseInsensitive))
        return true;
    const char* command = g_app_info_get_executable(app);
    if (!command)
        return false;
    // A desktop entry may quote its program ("Exec="/opt/x/ordalix" %f"), and GIO keeps them.
    QString name = QString::fromLocal8Bit(command);
    if (name.size() >= 2 && (name.front() == u'"' || name.front() == u'\'') &&
        name.back() == name.front())
        name = name.mid(1, name.size() - 2);
    const QFileInfo program(name);
    const QFileInfo self(QCoreApplication::applicationFilePath());
    return program.fileName() == self.fileName() ||
           (program.isAbsolute() && program.canonicalFilePath() == self.canonicalFilePath());
}
#endif

} // namespace

bool OpenFolder(const QString& folder, QString* failure) {
#ifndef _WIN32
    const QByteArray uri = QUrl::fromLocalFile(folder).toEncoded();
    QList<GAppInfo*> candidates;
    if (GAppInfo* preferred = g_app_info_get_default_for_type("inode/directory", FALSE))
        candidates.append(preferred);
    GList* all = g_app_info_get_all_for_type("inode/directory");
    for (GList* item = all; item; item = item->next) {
        auto* app = static_cast<GAppInfo*>(item->data);
        candidates.append(G_APP_INFO(g_object_ref(app)));
    }
    g_list_free_full(all, g_object_unref);
    bool opened = false;
    for (GAppInfo* app : std::as_const(candidates)) {
        if (opened || isSelf(app))
            continue;
        GList uris{const_cast<char*>(uri.constData()), nullptr, nullptr};
        GError* error = nullptr;
        opened = g_app_info_launch_uris(app, &uris, nullptr, &error);
        if (!opened && failure)
            *failure = QString::fromUtf8(error ? error->message : "?");
        g_clear_error(&error);
    }
    for (GAppInfo* app : std::as_const(candidates))
        g_object_unref(app);
    if (!opened && failure && failure->isEmpty())
        *failure = QStringLiteral("aucun autre programme n'ouvre les dossiers");
    return opened;
#else
    Q_UNUSED(failure);
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
#endif
}

void Opener::open(const QUrl& url) {
    OpenFolder(url.toLocalFile());
}

} // namespace filemanager
