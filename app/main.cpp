#include <QApplication>
#include <QLibraryInfo>
#include <QSocketNotifier>
#include <QTranslator>

#include <QDesktopServices>
#include <QLocale>

#include <algorithm>
#include <cstdio>
#ifndef _WIN32
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include "CommandLine.h"
#include "CommandRun.h"
#include "FileManager.h"
#include "Settings.h"
#include "Themes.h"
#include "Unit1.h"

namespace {

#ifndef _WIN32
int g_signalPipe[2] = {-1, -1};

void onTerminate(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(g_signalPipe[1], &byte, 1);
}

// A session that ends, or `kill`, asks the window to close as the user would: the settings are
// saved, and a sort in progress is stopped instead.
void closeOnTerminate(TForm1& form) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &form);
    QObject::connect(notifier, &QSocketNotifier::activated, &form, [&form] {
        char byte = 0;
        [[maybe_unused]] const ssize_t read = ::read(g_signalPipe[0], &byte, 1);
        form.close();
    });
    struct sigaction action {};
    action.sa_handler = onTerminate;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}
#else
// Windows asks a closing session's windows to close through their own messages.
void closeOnTerminate(TForm1&) {}
#endif

// Without a display the window cannot open: said in French, with the way to work without one,
// rather than the toolkit's own abort. A platform chosen by the user is left to the toolkit.
bool displayAvailable(const QStringList& arguments) {
#ifdef _WIN32
    Q_UNUSED(arguments);
    return true; // the desktop is always there
#endif
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") || arguments.contains("-platform") ||
        std::any_of(arguments.cbegin(), arguments.cend(),
                    [](const QString& a) { return a.startsWith("-platform="); }))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char* argv[]) {
    // Every text is French, whatever the system's language: dates and numbers too.
    QLocale::setDefault(QLocale(QLocale::French, QLocale::France));
    // Options make it a command: no window, and no display needed.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    if (cli::WantsCommand(arguments))
        return cli::Main(argc, argv);
    if (!displayAvailable(arguments)) {
        std::fputs(cli::NoDisplayText().toUtf8().constData(), stderr);
        return cli::ExitRefused;
    }
    QApplication application(argc, argv);
    // Folders shown at a run's end go to the desktop's file manager, never to this program.
    filemanager::Opener opener;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
    // The window is French: so are the toolkit's own dialogs (the folder chooser).
    QTranslator toolkitFrench;
    if (toolkitFrench.load(QStringLiteral("qtbase_fr"),
                           QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&toolkitFrench);
    ApplyTheme(QStringLiteral("Metropolis UI Blue"));
    int result = 0;
    {
        TForm1 form(QApplication::arguments().mid(1));
        closeOnTerminate(form);
        form.show();
        result = application.exec();
    }
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    IniPath.clear();
    return result;
}
