// The command's options: what to do, on which folder, by which criteria. Parsing only.
#pragma once

#include <QString>
#include <QStringList>

namespace cli {

// Exit statuses, as scripts read them.
inline constexpr int ExitDone = 0;      // everything was done
inline constexpr int ExitItemsLeft = 1; // some items stay where they were, or the run was stopped
inline constexpr int ExitRefused = 2;   // a usage error, a missing or refused folder

enum class Action { Window, SortFiles, SortFolders, Flatten, Undo, Help, Version };

struct Criteria {
    bool letter = false;
    bool year = false;
    bool month = false;
    bool day = false;
    bool any() const { return letter || year || month || day; }
};

struct Command {
    Action action = Action::Window;
    QString folder; // as typed; empty when none was given
    Criteria criteria;
    bool captureDate = false;
    bool dryRun = false;
    bool journal = false;
    QString error; // a usage error, in French; the command does nothing then
};

// True when the arguments (the program's name first) ask for the command rather than the
// window: one of them is an option other than the toolkit's own (-platform, -session, -style…).
// A lone folder keeps starting the window.
bool WantsCommand(const QStringList& arguments);

// Reads the arguments (the program's name first).
Command Parse(const QStringList& arguments);

// Reads a criteria list: words ("lettre", "annee", "mois", "jour", comma-separated) or letters
// ("L", "A", "M", "J", run together). False for anything else.
bool ParseCriteria(const QString& text, Criteria& criteria);

QString HelpText();
QString VersionText();
// Why the window cannot start without a display, and what works instead.
QString NoDisplayText();
// Why criteria that place nothing (a year and a day without the month) are refused.
QString CriteriaWithoutDestinationText();

} // namespace cli
