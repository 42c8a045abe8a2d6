// What the sort command and the runs read and drive in the main window. Every value is read
// from its control at the moment it is needed, so a change made while a run handles the
// window's messages applies from the next read.
#pragma once

#include <QString>

namespace sorting {

class SortRequest {
public:
    virtual ~SortRequest() = default;
    virtual QString RootFolder() const = 0;
    virtual bool ByLetter() const = 0;
    virtual bool ByYear() const = 0;
    virtual bool ByMonth() const = 0;
    virtual bool ByDay() const = 0;
    virtual bool Journal() const = 0;
    virtual bool Warnings() const = 0;
    virtual bool AutoMode() const = 0;
    virtual bool AutoClose() const = 0;
    // The file run dates photos and videos by when they were taken.
    virtual bool CaptureDate() const = 0;
};

class SortWindow : public SortRequest {
public:
    // Button1, whose caption marks a run in progress.
    virtual QString Button1Caption() const = 0;
    virtual void setButton1Caption(const QString& caption) = 0;
    // JvStatusBar1.
    virtual void setPanelText(int panel, const QString& text) = 0;
    // Gauge1.
    virtual void setGaugeMinValue(int value) = 0;
    virtual void setGaugeMaxValue(int value) = 0;
    virtual void setGaugeProgress(int value) = 0;
    virtual void showGauge() = 0; // brought to the front and shown
    virtual void hideGauge() = 0;
    // JvFileListBox1.
    virtual void updateFileList() = 0;
    virtual int fileCount() const = 0;
    virtual void selectFile(int index) = 0;
    virtual QString selectedFileName() const = 0;
    // The folder, a delimiter and the entry at `index`, without selecting it.
    virtual QString fileItem(int index) const = 0;
    // JvDirectoryListBox1.
    virtual void updateFolderList() = 0;
    virtual int folderCount() const = 0;
    virtual int folderItemIndex() const = 0;
    virtual QString folderItem(int index) const = 0;
    // PageControl_Fichiers.
    virtual int innerTabIndex() const = 0;
    // Timer1.
    virtual void stopTimer() = 0;
    // The action INI_Save.
    virtual void executeIniSave() = 0;
    // Says on the status bar and the automatic-mode lamp why a run was refused.
    virtual void showRefusal(const QString& reason) = 0;
    // Says why a run could not start although its folder is fine (another run holds it, its
    // record cannot be written); nothing was changed. The window says it as a refusal.
    virtual void showNotStarted(const QString& reason) { showRefusal(reason); }
    // Shows the root folder in the file manager, on behalf of the window.
    virtual void openRootFolder() = 0;
    // The copy of a large file, between its pieces: `done` of `total` bytes.
    virtual void fileCopyProgress(const QString& /*item*/, qint64 /*done*/, qint64 /*total*/) {}
    // Each item the run put in its place, and each it had to leave where it is, with why, in the
    // run's order and always on the run's own thread (a file counts once its original is in the
    // trash). The window shows counts only; a console names them.
    virtual void itemSorted(const QString& /*item*/, const QString& /*destination*/) {}
    virtual void itemLeft(const QString& /*item*/, const QString& /*reason*/) {}
    // An item the run passes over on purpose (counted with the ignored ones), with why.
    virtual void itemIgnored(const QString& /*item*/, const QString& /*reason*/) {}
};

} // namespace sorting
