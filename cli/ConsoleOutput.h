// The terminal side of the command: messages on standard error, the summary on standard output,
// and a progress line redrawn in place only when standard error is a terminal.
#pragma once

#include <QElapsedTimer>
#include <QString>

#include "outil32_Dialogs.h"

namespace cli {

class Console {
public:
    Console();
    // One message on standard error, its blank lines dropped, the progress line cleared first.
    void message(const QString& text);
    // One line on standard output.
    void result(const QString& line);
    // Redraws the progress line when it is due: percentage, count, the item in hand.
    void progress(int done, int total, const QString& item);
    void clearProgress();

private:
    void draw();

    bool m_terminal = false;
    bool m_shown = false;
    QElapsedTimer m_drawn;
    int m_done = 0;
    int m_total = 0;
    QString m_item;
};

// The answers of a console: a question is answered yes (the options asked for the run), a
// message goes to standard error, no folder is ever chosen.
class ConsolePresenter : public Dialogs::Presenter {
public:
    explicit ConsolePresenter(Console& console) : m_console(console) {}
    Dialogs::Answer present(const Dialogs::Request& request) override;
    QString chooseFolder(const QString& start, const QString& status) override;

private:
    Console& m_console;
};

} // namespace cli
