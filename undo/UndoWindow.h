// What the undo command drives in the main window, as the runs do: the status bar and the gauge.
#pragma once

#include <QString>

namespace undo {

class UndoWindow {
public:
    virtual ~UndoWindow() = default;
    virtual void setPanelText(int panel, const QString& text) = 0;
    virtual void setGaugeMinValue(int value) = 0;
    virtual void setGaugeMaxValue(int value) = 0;
    virtual void setGaugeProgress(int value) = 0;
    virtual void showGauge() = 0;
    virtual void hideGauge() = 0;
    // The file list and the folder lists read their folders again.
    virtual void updateLists() = 0;
};

// A view that shows nothing: an undo run where no window looks on (a benchmark, a test).
class QuietUndoWindow : public UndoWindow {
public:
    void setPanelText(int, const QString&) override {}
    void setGaugeMinValue(int) override {}
    void setGaugeMaxValue(int) override {}
    void setGaugeProgress(int) override {}
    void showGauge() override {}
    void hideGauge() override {}
    void updateLists() override {}
};

} // namespace undo
