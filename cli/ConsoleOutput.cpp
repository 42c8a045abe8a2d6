#include "ConsoleOutput.h"

#include <QStringList>

#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

namespace cli {

namespace {

// Redrawing more often than this costs time and shows nothing a person can read.
constexpr qint64 kRedrawEvery = 100;

void write(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

int columns() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

} // namespace

Console::Console() : m_terminal(::isatty(STDERR_FILENO) == 1) {}

void Console::message(const QString& text) {
    clearProgress();
    QStringList lines;
    for (const QString& line : text.split(QStringLiteral("\n"))) {
        const QString trimmed = QString(line).remove(u'\r').trimmed();
        if (!trimmed.isEmpty())
            lines.append(trimmed);
    }
    if (!lines.isEmpty())
        write(stderr, QStringLiteral("ordalix : ") + lines.join(QStringLiteral("\n  ")) + u'\n');
}

void Console::result(const QString& line) {
    clearProgress();
    write(stdout, line + u'\n');
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
    const int width = columns() - 1;
    if (line.size() > width)
        line = line.left(width);
    write(stderr, QStringLiteral("\r\033[K") + line);
    m_shown = true;
}

void Console::clearProgress() {
    if (!m_shown)
        return;
    write(stderr, QStringLiteral("\r\033[K"));
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
