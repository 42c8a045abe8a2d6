#include "ConsoleOutput.h"

#include <QStringList>

#include "console.h"

namespace cli {

namespace {

// Redrawing more often than this costs time and shows nothing a person can read.
constexpr qint64 kRedrawEvery = 100;

namespace console = ordalix::platform::console;
using console::Stream;

void write(Stream stream, const QString& text) {
    console::write(stream, text.toStdString());
}

} // namespace

Console::Console() : m_terminal(console::isTerminal(Stream::Error)) {}

void Console::message(const QString& text) {
    clearProgress();
    QStringList lines;
    for (const QString& line : text.split(QStringLiteral("\n"))) {
        const QString trimmed = QString(line).remove(u'\r').trimmed();
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    if (!lines.isEmpty())
        write(Stream::Error,
              QStringLiteral("ordalix : ") + lines.join(QStringLiteral("\n  ")) + u'\n');
}

void Console::result(const QString& line) {
    clearProgress();
    write(Stream::Out, line + u'\n');
}

void Console::progress(int done, int total, const QString& item) {
    if (!m_terminal)
        return;
    m_done = done;
    m_total = total;
    m_item = item;
    if (m_drawn.isValid() && m_drawn.elapsed() < kRedrawEvery)
        return;
    draw();
    m_drawn.start();
}

void Console::draw() {
    const int percent = m_total > 0 ? static_cast<int>(100LL * m_done / m_total) : 0;
    QString line =
        QStringLiteral("%1 % (%2/%3) %4").arg(percent, 3).arg(m_done).arg(m_total).arg(m_item);
    // A line longer than the terminal would wrap, and the next redraw could not cover it.
    const int width = console::columns(Stream::Error) - 1;
    if (line.size() > width)
        line = line.left(width);
    console::rewriteLine(Stream::Error, line.toStdString());
    m_shown = true;
}

void Console::clearProgress() {
    if (!m_shown)
        return;
    console::rewriteLine(Stream::Error, {});
    m_shown = false;
    m_drawn.invalidate();
}

Dialogs::Answer ConsolePresenter::present(const Dialogs::Request& request) {
    // A box's details list items the views have named already, one by one.
    if (request.buttons == Dialogs::Buttons::Ok)
        m_console.message(request.text);
    return Dialogs::Answer::Ok;
}

QString ConsolePresenter::chooseFolder(const QString&, const QString&) {
    return {};
}

} // namespace cli
