// The window's controls as the runs see them.
#pragma once

#include "SettingsWindow.h"
#include "SortWindow.h"
#include "UndoWindow.h"

class TForm1;

class FormSortWindow : public sorting::SortWindow {
public:
    explicit FormSortWindow(TForm1& form) : m_form(form) {}

    QString RootFolder() const override;
    bool ByLetter() const override;
    bool ByYear() const override;
    bool ByMonth() const override;
    bool ByDay() const override;
    bool Journal() const override;
    bool Warnings() const override;
    bool AutoMode() const override;
    bool AutoClose() const override;
    bool CaptureDate() const override;

    QString Button1Caption() const override;
    void setButton1Caption(const QString& caption) override;
    void setPanelText(int panel, const QString& text) override;
    void setGaugeMinValue(int value) override;
    void setGaugeMaxValue(int value) override;
    void setGaugeProgress(int value) override;
    void fileCopyProgress(const QString& item, qint64 done, qint64 total) override;
    void showGauge() override;
    void hideGauge() override;
    void updateFileList() override;
    int fileCount() const override;
    void selectFile(int index) override;
    QString selectedFileName() const override;
    QString fileItem(int index) const override;
    void updateFolderList() override;
    int folderCount() const override;
    int folderItemIndex() const override;
    QString folderItem(int index) const override;
    int innerTabIndex() const override;
    void stopTimer() override;
    void executeIniSave() override;
    void showRefusal(const QString& reason) override;
    void openRootFolder() override;

private:
    TForm1& m_form;
    int m_gaugeMax = 0;
    int m_gaugeValue = 0;
    bool m_gaugeScaled = false; // counting hundredths of a file, during a large one
};

class FormSettingsWindow : public settings::SettingsWindow {
public:
    explicit FormSettingsWindow(TForm1& form) : m_form(form) {}

    QWidget& form() override;
    QString RootFolder() const override;
    void setRootFolder(const QString& folder) override;
    int OuterTabIndex() const override;
    bool criterion(settings::Criterion which) const override;
    void setCriterion(settings::Criterion which, bool checked) override;
    bool option(settings::Option which) const override;
    void setOption(settings::Option which, bool checked) override;
    void showFlattenWarning() override;

private:
    TForm1& m_form;
};

class FormUndoWindow : public undo::UndoWindow {
public:
    explicit FormUndoWindow(TForm1& form) : m_form(form) {}
    void setPanelText(int panel, const QString& text) override;
    void setGaugeMinValue(int value) override;
    void setGaugeMaxValue(int value) override;
    void setGaugeProgress(int value) override;
    void showGauge() override;
    void hideGauge() override;
    void updateLists() override;

private:
    TForm1& m_form;
    QString m_caption; // the run button's, while the undo shows "STOP!" on it
};
