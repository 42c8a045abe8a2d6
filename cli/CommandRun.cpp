#include "CommandRun.h"

#include <QCoreApplication>
#include <QDir>

#include "ConsoleViews.h"
#include "Flatten.h"
#include "RunRecord.h"
#include "Settings.h"
#include "Sorting.h"
#include "SystemFolders.h"
#include "Undo.h"
#include "console.h"
#include "outil32_DIR.h"
#include "outil32_ini.h"
#include "platform_convert.h"

namespace cli {

namespace {

void onStop() {
    SetInterrupted();
}

// Ctrl+C and SIGTERM stop the run at its next step, as the STOP! button does; a second one
// ends the program at once.
void stopOnSignals() {
    ordalix::platform::console::onInterrupt(onStop);
}

// Puts the console's presenter in place for the command's life.
class PresenterScope {
public:
    explicit PresenterScope(Dialogs::Presenter& presenter) { Dialogs::setPresenter(&presenter); }
    ~PresenterScope() { Dialogs::setPresenter(nullptr); }
    PresenterScope(const PresenterScope&) = delete;
    PresenterScope& operator=(const PresenterScope&) = delete;
};

// The folder as typed, made absolute and clean, without a trailing delimiter.
QString folderOf(const QString& typed) {
    QString folder = settings::FolderArgument(typed);
    // A drive's root keeps its delimiter: "C:" alone names the drive's current folder.
    while (folder.size() > 1 && folder.endsWith(ordalix::PathDelim) &&
           !(folder.size() == 3 && folder[1] == u':'))
        folder.chop(1);
    return folder;
}

// A folder the runs may work in; otherwise says why and returns false.
bool usableFolder(Console& console, const QString& typed, const QString& folder) {
    if (!IsFolder(folder)) {
        console.message(QStringLiteral("Le dossier passé en paramètre n'existe pas\n") + typed);
        return false;
    }
    if (systemfolders::IsSystemFolder(folder)) {
        console.message(systemfolders::RefusalText(folder));
        return false;
    }
    return true;
}

QString stoppedText(int remaining) {
    return QStringLiteral(" ; arrêté avant la fin, %1 restant(s)").arg(remaining);
}

void printPlan(Console& console, const QStringList& lines) {
    for (const QString& line : lines)
        console.result(line);
    console.result(
        QStringLiteral("Simulation : %1 élément(s) ; rien n'a été changé.").arg(lines.size()));
}

int sort(Console& console, const Command& command, const QString& folder) {
    ConsoleSortWindow view(console, command, folder);
    // Criteria the runs cannot place anything with are told before anything is listed.
    QString relative;
    if (!sorting::FileRelativeDestination(view, QStringLiteral("a.a"), {2000, "01", "01"},
                                          relative)) {
        console.message(CriteriaWithoutDestinationText());
        return ExitRefused;
    }
    const bool files = command.action == Action::SortFiles;
    if (command.dryRun) {
        files ? view.updateFileList() : view.updateFolderList();
        printPlan(console, sorting::SortPlan(view));
        return ExitDone;
    }
    bool journalFailed = false;
    try {
        sorting::OrdalixExecute(view);
    } catch (const EIniError& error) {
        // A journal that cannot be written ends the run, as in the window.
        console.message(error.message());
        journalFailed = true;
    }
    const Tally& tally = view.tally();
    if (tally.refused)
        return ExitRefused;
    if (tally.notStarted && view.handled() == 0)
        return ExitItemsLeft; // another run holds the folder, or no record: nothing was done
    // The folder list holds the root folder first: it is not one of the run's items.
    const int total = files ? view.total() : view.total() - 1;
    const int remaining = total - view.handled();
    const int ignored = view.handled() - tally.sorted - tally.left;
    const QString noun = files ? QStringLiteral("fichier(s)") : QStringLiteral("dossier(s)");
    QString summary = QStringLiteral("%1 %2 rangé(s), %3 ignoré(s), %4 laissé(s) en place dans %5")
                          .arg(tally.sorted)
                          .arg(noun)
                          .arg(ignored)
                          .arg(tally.left)
                          .arg(folder);
    // Stopped by a signal, or ended by a failure it reported.
    const bool stopped = remaining > 0 || journalFailed || tally.notStarted;
    if (stopped)
        summary += stoppedText(remaining);
    console.result(summary);
    return tally.left > 0 || stopped ? ExitItemsLeft : ExitDone;
}

int flattenTree(Console& console, const Command& command, const QString& folder) {
    if (command.dryRun) {
        printPlan(console, flatten::FlattenPlan(folder));
        return ExitDone;
    }
    ConsoleFlattenWindow view(console, folder);
    flatten::DeOrdalixExecute(view);
    const Tally& tally = view.tally();
    QString summary = QStringLiteral("%1 fichier(s) présent(s) ou ramené(s) dans %2, %3 laissé(s) "
                                     "en place")
                          .arg(tally.sorted)
                          .arg(folder)
                          .arg(tally.left);
    if (tally.notStarted && tally.sorted == 0)
        return ExitItemsLeft; // another run holds the folder, or no record: nothing was done
    const bool stopped =
        (Interrupted() || tally.notStarted) && view.gaugeProgress() < view.gaugeMaxValue();
    if (stopped || tally.notStarted)
        summary += stoppedText(view.gaugeMaxValue() - view.gaugeProgress());
    console.result(summary);
    return tally.left > 0 || stopped || tally.notStarted ? ExitItemsLeft : ExitDone;
}

int undoLastRun(Console& console, const Command& command) {
    QString damage;
    const std::optional<undo::Record> record = undo::LastRecord(&damage);
    if (!damage.isEmpty()) {
        console.message(damage);
        return ExitItemsLeft;
    }
    if (!record) {
        console.result(QStringLiteral("Aucun rangement à annuler."));
        return ExitDone;
    }
    // A folder given names the run the user means: another one is not taken back by mistake.
    const QString folder = command.folder.isEmpty() ? QString() : folderOf(command.folder);
    if (!folder.isEmpty() && QDir::cleanPath(record->root) != folder) {
        console.message(QStringLiteral("Le dernier rangement a eu lieu dans le dossier %1, pas "
                                       "dans %2 : rien n'a été annulé.")
                            .arg(record->root, folder));
        return ExitRefused;
    }
    if (command.dryRun) {
        // The question, without its question mark: what an undo would take back.
        QStringList lines = undo::UndoQuestion(*record).split(QStringLiteral("\r\n"));
        lines.removeFirst();
        lines.removeAll(QString());
        for (const QString& line : std::as_const(lines))
            console.result(line);
        console.result(QStringLiteral("Simulation : rien n'a été changé."));
        return ExitDone;
    }
    ConsoleUndoWindow view(console);
    const std::optional<undo::UndoReport> report = undo::UndoRunExecute(*record, view);
    if (!report)
        return ExitItemsLeft;
    // Each item left is named, with why.
    for (const undo::UndoReport::Left& item : report->left)
        console.message(QStringLiteral("laissé : %1 (%2)").arg(item.item, item.reason));
    console.result(report->text().section(QStringLiteral("\r\n"), 0, 0));
    return report->complete() ? ExitDone : ExitItemsLeft;
}

} // namespace

int Execute(const Command& command) {
    Console console;
    if (!command.error.isEmpty()) {
        console.message(command.error + QStringLiteral("\nPour l'aide : ordalix --help"));
        return ExitRefused;
    }
    switch (command.action) {
    case Action::Help:
        console.result(HelpText().chopped(1));
        return ExitDone;
    case Action::Version:
        console.result(VersionText().chopped(1));
        return ExitDone;
    case Action::Window:
        return ExitRefused; // not a command
    default:
        break;
    }
    ConsolePresenter presenter(console);
    PresenterScope scope(presenter);
    if (command.action == Action::Undo)
        return undoLastRun(console, command);
    const QString folder = folderOf(command.folder);
    if (!usableFolder(console, command.folder, folder))
        return ExitRefused;
    if (command.action == Action::Flatten)
        return flattenTree(console, command, folder);
    return sort(console, command, folder);
}

int Main(int argc, char* argv[]) {
    ordalix::platform::console::attachToParent();
    QCoreApplication application(argc, argv);
    const Command command = Parse(QCoreApplication::arguments());
    stopOnSignals();
    return Execute(command);
}

} // namespace cli
