#include "FormFlattenWindow.h"

#include "Unit1.h"

QString FormFlattenWindow::TopFolder() const {
    return m_form.JvDirectoryListBox2->Directory();
}
int FormFlattenWindow::StatusTag() const {
    return m_form.JvStatusBar1->Tag();
}
void FormFlattenWindow::setStatusTag(int value) {
    m_form.JvStatusBar1->setTag(value);
}
void FormFlattenWindow::setPanelText(int panel, const QString& text) {
    m_form.JvStatusBar1->setPanelText(panel, text);
}
void FormFlattenWindow::setGaugeMinValue(int value) {
    m_form.Gauge1->setMinValue(value);
}
void FormFlattenWindow::setGaugeMaxValue(int value) {
    m_form.Gauge1->setMaxValue(value);
}
int FormFlattenWindow::gaugeProgress() const {
    return m_form.Gauge1->Progress();
}
int FormFlattenWindow::gaugeMaxValue() const {
    return m_form.Gauge1->MaxValue();
}
void FormFlattenWindow::setGaugeProgress(int value) {
    m_form.Gauge1->setProgress(value);
}
void FormFlattenWindow::showGauge() {
    m_form.Gauge1->raise();
    m_form.Gauge1->show();
}
void FormFlattenWindow::hideGauge() {
    m_form.Gauge1->hide();
}
void FormFlattenWindow::selectFirstTabs() {
    m_form.PageControl_Range->setTabIndex(0);
    m_form.PageControl_Fichiers->setTabIndex(0);
}
void FormFlattenWindow::updateFileList() {
    m_form.JvFileListBox1->Update();
}
void FormFlattenWindow::clickExplore() {
    m_form.mnu_EXPLORE->trigger();
}
