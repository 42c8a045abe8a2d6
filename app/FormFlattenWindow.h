// The window's controls as the flatten command sees them.
#pragma once

#include "FlattenWindow.h"

class TForm1;

class FormFlattenWindow : public flatten::FlattenWindow {
public:
    explicit FormFlattenWindow(TForm1& form) : m_form(form) {}
    QString TopFolder() const override;
    int StatusTag() const override;
    void setStatusTag(int value) override;
    void setPanelText(int panel, const QString& text) override;
    void setGaugeMinValue(int value) override;
    void setGaugeMaxValue(int value) override;
    int gaugeProgress() const override;
    int gaugeMaxValue() const override;
    void setGaugeProgress(int value) override;
    void showGauge() override;
    void hideGauge() override;
    void selectFirstTabs() override;
    void updateFileList() override;
    void clickExplore() override;

private:
    TForm1& m_form;
};
