#include "ConsoleViews.h"

#include <csignal>

#include "FolderListing.h"
#include "Sorting.h"
#include "StopRequest.h"
#include "platform_convert.h"

namespace cli {

namespace {

volatile std::sig_atomic_t g_interrupted = 0;

QString lastComponent(const QString& path) {
    return path.mid(path.lastIndexOf(ordalix::PathDelim) + 1);
}

// A run clears the stop request when it starts: one that came before is asked again.
void keepStopRequest() {
    if (g_interrupted)
        StopRequested = true;
}

QString leftText(const QString& item, const QString& reason) {
    return QStringLiteral("laissé en place : %1 (%2)").arg(item, reason);
}

} // namespace

bool Interrupted() {
    return g_interrupted;
}

void SetInterrupted() {
    g_interrupted = 1;
    StopRequested = true;
}

ConsoleSortWindow::ConsoleSortWindow(Console& console, const Command& command, QString folder)
    : m_console(console), m_command(command), m_root(std::move(folder)),
      m_caption(sorting::IdleCaption) {}

void ConsoleSortWindow::setGaugeProgress(int value) {
    m_progress = value;
    keepStopRequest();
    m_console.progress(value, m_total, m_inHand);
}

void ConsoleSortWindow::fileCopyProgress(const QString& item, qint64 done, qint64 total) {
    keepStopRequest();
    m_console.progress(m_progress, m_total, sorting::CopyProgressText(item, done, total));
}

void ConsoleSortWindow::updateFileList() {
    m_files = listing::FileNames(m_root);
    m_selected = -1;
}

void ConsoleSortWindow::selectFile(int index) {
    m_selected = index;
    m_inHand = m_files.value(index);
}

QString ConsoleSortWindow::fileItem(int index) const {
    return index < 0 || index >= m_files.size() ? QString()
                                                : listing::Joined(m_root, m_files.at(index));
}

void ConsoleSortWindow::updateFolderList() {
    m_folders = QStringList{m_root};
    for (const QString& name : listing::SubFolderNames(m_root))
        m_folders.append(listing::Joined(m_root, name));
}

QString ConsoleSortWindow::folderItem(int index) const {
    const QString item = m_folders.value(index);
    m_inHand = lastComponent(item);
    return item;
}

int ConsoleSortWindow::innerTabIndex() const {
    return m_command.action == Action::SortFolders ? 1 : 0;
}

void ConsoleSortWindow::showRefusal(const QString& reason) {
    m_tally.refused = true;
    m_console.message(reason);
}

void ConsoleSortWindow::showNotStarted(const QString& reason) {
    m_tally.notStarted = true;
    m_console.message(reason);
}

void ConsoleSortWindow::itemIgnored(const QString& item, const QString& reason) {
    m_console.message(QStringLiteral("ignoré : %1 (%2)").arg(item, reason));
}

void ConsoleSortWindow::itemSorted(const QString&, const QString&) {
    ++m_tally.sorted;
}

void ConsoleSortWindow::itemLeft(const QString& item, const QString& reason) {
    ++m_tally.left;
    m_console.message(leftText(item, reason));
}

int ConsoleFlattenWindow::StatusTag() const {
    keepStopRequest();
    return m_tag;
}

void ConsoleFlattenWindow::setPanelText(int panel, const QString& text) {
    // "N - [folder]=>name": the file in hand is what follows the arrow.
    if (panel == 0)
        m_inHand = text.section(QStringLiteral("]=>"), 1);
}

void ConsoleFlattenWindow::setGaugeProgress(int value) {
    m_progress = value;
    m_console.progress(value, m_total, m_inHand);
}

void ConsoleFlattenWindow::itemSorted(const QString&, const QString&) {
    ++m_tally.sorted;
}

void ConsoleFlattenWindow::itemLeft(const QString& item, const QString& reason) {
    ++m_tally.left;
    m_console.message(leftText(item, reason));
}

void ConsoleUndoWindow::setGaugeProgress(int value) {
    keepStopRequest();
    m_console.progress(value, m_total, QString());
}

} // namespace cli
