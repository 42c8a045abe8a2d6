// What the flatten command reads and drives in the main window. Every value is read from its
// control at the moment it is needed, so a folder the user opens while the walk handles the
// window's messages applies from the next file.
#pragma once

#include <QString>

namespace flatten {

class FlattenWindow {
public:
    virtual ~FlattenWindow() = default;
    // JvDirectoryListBox2's folder, read afresh at every use.
    virtual QString TopFolder() const = 0;
    // JvStatusBar1: its Tag counts the files moved.
    virtual int StatusTag() const = 0;
    virtual void setStatusTag(int value) = 0;
    virtual void setPanelText(int panel, const QString& text) = 0;
    // Gauge1.
    virtual void setGaugeMinValue(int value) = 0;
    virtual void setGaugeMaxValue(int value) = 0;
    virtual int gaugeProgress() const = 0;
    virtual int gaugeMaxValue() const = 0;
    virtual void setGaugeProgress(int value) = 0;
    virtual void showGauge() = 0; // brought to the front and shown
    virtual void hideGauge() = 0;
    // PageControl_Range and PageControl_Fichiers back on their first tab, without change events.
    virtual void selectFirstTabs() = 0;
    // JvFileListBox1 reads its folder again.
    virtual void updateFileList() = 0;
    // A click on mnu_EXPLORE: the root folder shown in the file manager.
    virtual void clickExplore() = 0;
    // The walk could not start or go on: another run holds the folder, or its record cannot be
    // written. Its message box has told why.
    virtual void runNotStarted() {}
    // Each file moved up, and each file or folder the walk had to leave, with why. The window
    // shows counts only; a console names them.
    virtual void itemSorted(const QString& /*item*/, const QString& /*destination*/) {}
    virtual void itemLeft(const QString& /*item*/, const QString& /*reason*/) {}
};

} // namespace flatten
