// Runs one operation of Ordalix in a process of its own, headless, for the tests that put it
// under faults (full disk, refusals, injected I/O errors, another user) or kill it midway.
// Every message the program would show is printed as "MSG <type>: <text>" and answered OK.
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QScopeGuard>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifndef _WIN32
#include <dlfcn.h>
#endif

#include "FileManager.h"
#include "Unit1.h"
#include "outil32_DIR.h"
#include "outil32_Dialogs.h"
#include "outil32_FILE.h"
#include "outil32_ini.h"

namespace {

class Printing : public Dialogs::Presenter {
public:
    Dialogs::Answer present(const Dialogs::Request& request) override {
        QString text = request.text;
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
        std::printf("MSG %d: %s\n", int(request.type), qPrintable(text));
        std::fflush(stdout);
        return Dialogs::Answer::Ok;
    }
    QString chooseFolder(const QString&, const QString&) override { return {}; }
};

// Stands in for the file manager.
class NoFileManager : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl&) {}
};

// Injected failures start once the program is up, so that they hit the operation, not the
// loading of the toolkit: ORDALIX_FAULTS="name:probability;..." for libfiu, when it is preloaded.
void enableInjectedFaults() {
    const QByteArray faults = qgetenv("ORDALIX_FAULTS");
    if (faults.isEmpty())
        return;
    using EnableRandom = int (*)(const char*, int, void*, unsigned int, float);
#ifdef _WIN32
    const EnableRandom enable = nullptr; // no preloading there
#else
    auto enable = reinterpret_cast<EnableRandom>(::dlsym(RTLD_DEFAULT, "fiu_enable_random"));
#endif
    if (!enable) {
        std::fprintf(stderr, "libfiu is not loaded\n");
        std::exit(3);
    }
    for (const QByteArray& item : faults.split(';')) {
        const qsizetype colon = item.lastIndexOf(':');
        enable(item.left(colon).constData(), 1, nullptr, 0, item.mid(colon + 1).toFloat());
    }
}

int usage() {
    std::fprintf(
        stderr,
        "usage: ordalix_driver copy|move|shellmove SRC DST | recycle PATH | recycleall DIR |\n"
        "       iniwrite FILE SECTION KEY VALUE | tidy|sort FILE | openfolder FOLDER |\n"
        "       sortfiles|sortfolders ROOT CRITERIA(LYMD) | flatten TOP | save ROOT\n");
    return 2;
}

int result(bool ok) {
    if (!ok)
        std::printf("FAILED: %s\n", qPrintable(LastFileErrorText()));
    std::fflush(stdout); // before any leak report can end the process
    return ok ? 0 : 1;
}

// Sends every entry of a folder to the trash, one call each, and tells where each went.
int recycleAll(const QString& folder) {
    const QStringList names =
        QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& name : names) {
        TrashedItem where;
        if (!RecycleFile(folder + QLatin1Char('/') + name, &where))
            return result(false);
        std::printf("TRASHED %s\n", qPrintable(where.item));
    }
    return result(true);
}

int windowOperation(const QString& op, const QStringList& args) {
    TForm1 form({args.value(0)});
    form.show();
    if (op == QLatin1String("sortfiles") || op == QLatin1String("sortfolders")) {
        const QString criteria = args.value(1, QStringLiteral("Y"));
        form.chk_ABC->setChecked(criteria.contains(u'L'));
        form.chk_A->setChecked(criteria.contains(u'Y'));
        form.chk_M->setChecked(criteria.contains(u'M'));
        form.chk_D->setChecked(criteria.contains(u'D'));
        form.PageControl_Fichiers->setTabIndex(op == QLatin1String("sortfiles") ? 0 : 1);
        form.Ordalix->Execute();
    } else if (op == QLatin1String("flatten")) {
        form.DeOrdalix->Execute();
    } else if (op == QLatin1String("save")) {
        form.close();
    } else {
        return usage();
    }
    return 0;
}

} // namespace

// The desktop's handlers are read once per process: each case gets a process of its own, and
// one without a window system (nothing of the toolkit's fonts to report at exit). The answer is
// printed, so that a leak report from a library cannot change it.
int openFolder(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    QString failure;
    const bool opened = filemanager::OpenFolder(QCoreApplication::arguments().value(2), &failure);
    std::printf(opened ? "OPENED\n" : "NOT OPENED: %s\n", qPrintable(failure));
    std::fflush(stdout);
    return opened ? 0 : 1;
}

int main(int argc, char* argv[]) {
    if (argc > 1 && std::strcmp(argv[1], "openfolder") == 0)
        return openFolder(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    Printing printing;
    Dialogs::setPresenter(&printing);
    NoFileManager noFileManager;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &noFileManager, "open");

    enableInjectedFaults();
    const QStringList arguments = QApplication::arguments();
    const QString op = arguments.value(1);
    const QStringList args = arguments.mid(2);
    const auto done =
        qScopeGuard([] { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); });
    try {
        if (op == QLatin1String("copy"))
            return result(FileCopy(args.value(0), args.value(1)));
        if (op == QLatin1String("move"))
            return result(FileMoveReplace(args.value(0), args.value(1)));
        if (op == QLatin1String("shellmove"))
            return result(ShellMove(args.value(0), args.value(1)));
        if (op == QLatin1String("recycle"))
            return result(RecycleFile(args.value(0)));
        if (op == QLatin1String("recycleall"))
            return recycleAll(args.value(0));
        if (op == QLatin1String("iniwrite")) {
            IniWriteString(args.value(1), args.value(2), args.value(3), args.value(0));
            return 0;
        }
        if (op == QLatin1String("tidy")) {
            TidyIniFile(args.value(0), false);
            return 0;
        }
        if (op == QLatin1String("sort")) {
            SortIniSections(args.value(0));
            return 0;
        }
        if (args.isEmpty())
            return usage();
        return windowOperation(op, args);
    } catch (const EIniError& error) {
        std::printf("ERROR: %s\n", qPrintable(error.message()));
        return 1;
    }
}

#include "ordalix_driver.moc"
