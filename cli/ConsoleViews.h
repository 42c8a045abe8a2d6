// The runs' views for the command: the window's lists read the same way, its gauge and status
// bar drawn as a progress line, each item left named.
#pragma once

#include <QStringList>

#include "CommandLine.h"
#include "ConsoleOutput.h"
#include "FlattenWindow.h"
#include "SortWindow.h"
#include "UndoWindow.h"

namespace cli {

// What a run did, item by item, for the summary and the exit status.
struct Tally {
    int sorted = 0;
    int left = 0;
    bool refused = false;    // the folder is not one the runs may work in
    bool notStarted = false; // the run could not start or go on (another run, its record)
};

// Set once SIGINT or SIGTERM came: every view asks the run to stop at its next step.
bool Interrupted();
void SetInterrupted();

class ConsoleSortWindow : public sorting::SortWindow {
public:
    // `folder`: absolute, clean, no trailing delimiter.
    ConsoleSortWindow(Console& console, const Command& command, QString folder);

    QString RootFolder() const override { return m_root; }
    bool ByLetter() const override { return m_command.criteria.letter; }
    bool ByYear() const override { return m_command.criteria.year; }
    bool ByMonth() const override { return m_command.criteria.month; }
    bool ByDay() const override { return m_command.criteria.day; }
    bool Journal() const override { return m_command.journal; }
    // Unattended: no question, no closing box, no file manager; refusals come through
    // showRefusal.
    bool Warnings() const override { return false; }
    bool AutoMode() const override { return true; }
    bool AutoClose() const override { return false; }
    bool CaptureDate() const override { return m_command.captureDate; }

    QString Button1Caption() const override { return m_caption; }
    void setButton1Caption(const QString& caption) override { m_caption = caption; }
    void setPanelText(int, const QString&) override {}
    void setGaugeMinValue(int) override {}
    void setGaugeMaxValue(int value) override { m_total = value; }
    void setGaugeProgress(int value) override;
    void fileCopyProgress(const QString& item, qint64 done, qint64 total) override;
    void showGauge() override {}
    void hideGauge() override { m_console.clearProgress(); }
    void updateFileList() override;
    int fileCount() const override { return static_cast<int>(m_files.size()); }
    void selectFile(int index) override;
    QString selectedFileName() const override { return fileItem(m_selected); }
    QString fileItem(int index) const override;
    void updateFolderList() override;
    int folderCount() const override { return static_cast<int>(m_folders.size()); }
    int folderItemIndex() const override { return 0; } // the root folder, first of its list
    QString folderItem(int index) const override;
    int innerTabIndex() const override;
    void stopTimer() override {}
    void executeIniSave() override {}
    void showRefusal(const QString& reason) override;
    void showNotStarted(const QString& reason) override;
    void openRootFolder() override {}
    void itemSorted(const QString& item, const QString& destination) override;
    void itemLeft(const QString& item, const QString& reason) override;
    void itemIgnored(const QString& item, const QString& reason) override;

    const Tally& tally() const { return m_tally; }
    int handled() const { return m_progress; }
    int total() const { return m_total; }

private:
    Console& m_console;
    const Command& m_command;
    QString m_root;
    QString m_caption;
    QStringList m_files;
    QStringList m_folders; // the root folder, then its sub-folders
    int m_selected = -1;
    mutable QString m_inHand;
    int m_total = 0;
    int m_progress = 0;
    Tally m_tally;
};

class ConsoleFlattenWindow : public flatten::FlattenWindow {
public:
    ConsoleFlattenWindow(Console& console, QString folder)
        : m_console(console), m_top(std::move(folder)) {}

    QString TopFolder() const override { return m_top; }
    int StatusTag() const override;
    void setStatusTag(int value) override { m_tag = value; }
    void setPanelText(int panel, const QString& text) override;
    void setGaugeMinValue(int) override {}
    void setGaugeMaxValue(int value) override { m_total = value; }
    int gaugeProgress() const override { return m_progress; }
    int gaugeMaxValue() const override { return m_total; }
    void setGaugeProgress(int value) override;
    void showGauge() override {}
    void hideGauge() override { m_console.clearProgress(); }
    void selectFirstTabs() override {}
    void updateFileList() override {}
    void clickExplore() override {}
    void runNotStarted() override { m_tally.notStarted = true; }
    void itemSorted(const QString& item, const QString& destination) override;
    void itemLeft(const QString& item, const QString& reason) override;

    const Tally& tally() const { return m_tally; }

private:
    Console& m_console;
    QString m_top;
    int m_tag = 0;
    int m_total = 0;
    int m_progress = 0;
    QString m_inHand;
    Tally m_tally;
};

class ConsoleUndoWindow : public undo::QuietUndoWindow {
public:
    explicit ConsoleUndoWindow(Console& console) : m_console(console) {}
    void setGaugeMaxValue(int value) override { m_total = value; }
    void setGaugeProgress(int value) override;
    void hideGauge() override { m_console.clearProgress(); }

private:
    Console& m_console;
    int m_total = 0;
};

} // namespace cli
