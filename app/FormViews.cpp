#include "FormViews.h"

#include <utility>

#include "Sorting.h"
#include "Unit1.h"
#include "outil32_WIN.h"
#include "platform_convert.h"

QString FormSortWindow::RootFolder() const {
    return m_form.JvDirectoryEdit1->Directory();
}
bool FormSortWindow::ByLetter() const {
    return m_form.chk_ABC->Checked();
}
bool FormSortWindow::ByYear() const {
    return m_form.chk_A->Checked();
}
bool FormSortWindow::ByMonth() const {
    return m_form.chk_M->Checked();
}
bool FormSortWindow::ByDay() const {
    return m_form.chk_D->Checked();
}
bool FormSortWindow::Journal() const {
    return m_form.chk_MOUCHARD->Checked();
}
bool FormSortWindow::Warnings() const {
    return m_form.chk_Dialogs->Checked();
}
bool FormSortWindow::AutoMode() const {
    return m_form.chk_AUTO->Checked();
}
bool FormSortWindow::AutoClose() const {
    return m_form.chk_AutoClose->Checked();
}
bool FormSortWindow::CaptureDate() const {
    return m_form.chk_PRISEDEVUE->Checked();
}

QString FormSortWindow::Button1Caption() const {
    return m_form.Button1->Caption();
}
void FormSortWindow::setButton1Caption(const QString& caption) {
    m_form.Button1->setCaption(caption);
}
void FormSortWindow::setPanelText(int panel, const QString& text) {
    m_form.JvStatusBar1->setPanelText(panel, text);
}
void FormSortWindow::setGaugeMinValue(int value) {
    m_form.Gauge1->setMinValue(value);
}
void FormSortWindow::setGaugeMaxValue(int value) {
    m_gaugeMax = value;
    m_form.Gauge1->setMaxValue(value);
}
void FormSortWindow::setGaugeProgress(int value) {
    m_gaugeValue = value;
    if (m_gaugeScaled) {
        m_gaugeScaled = false;
        m_form.Gauge1->setMaxValue(m_gaugeMax);
    }
    m_form.Gauge1->setProgress(value);
}
void FormSortWindow::fileCopyProgress(const QString& item, qint64 done, qint64 total) {
    // The gauge counts files; within a large one it moves by hundredths of a file.
    if (total > 0 && m_gaugeMax > 0 && m_gaugeMax < 10000000) {
        m_gaugeScaled = true;
        m_form.Gauge1->setMaxValue(m_gaugeMax * 100);
        m_form.Gauge1->setProgress((m_gaugeValue - 1) * 100 + int(100 * done / total));
    }
    m_form.JvStatusBar1->setPanelText(1, sorting::CopyProgressText(item, done, total));
}
void FormSortWindow::showGauge() {
    m_form.Gauge1->raise();
    m_form.Gauge1->show();
}
void FormSortWindow::hideGauge() {
    m_form.Gauge1->hide();
    if (m_gaugeScaled) {
        m_gaugeScaled = false;
        m_form.Gauge1->setMaxValue(m_gaugeMax);
        m_form.Gauge1->setProgress(m_gaugeValue);
    }
}
void FormSortWindow::updateFileList() {
    m_form.JvFileListBox1->Update();
}
int FormSortWindow::fileCount() const {
    return m_form.JvFileListBox1->Count();
}
void FormSortWindow::selectFile(int index) {
    m_form.JvFileListBox1->setSelected(index, true);
}
QString FormSortWindow::selectedFileName() const {
    return m_form.JvFileListBox1->FileName();
}
QString FormSortWindow::fileItem(int index) const {
    const QString folder = m_form.JvFileListBox1->Directory();
    return (folder.endsWith(ordalix::PathDelim) ? folder : folder + ordalix::PathDelim) +
           m_form.JvFileListBox1->Items().value(index);
}
void FormSortWindow::updateFolderList() {
    m_form.JvDirectoryListBox1->Update();
}
int FormSortWindow::folderCount() const {
    return m_form.JvDirectoryListBox1->Count();
}
int FormSortWindow::folderItemIndex() const {
    return m_form.JvDirectoryListBox1->ItemIndex();
}
QString FormSortWindow::folderItem(int index) const {
    return m_form.JvDirectoryListBox1->Items().value(index);
}
int FormSortWindow::innerTabIndex() const {
    return m_form.PageControl_Fichiers->TabIndex();
}
void FormSortWindow::stopTimer() {
    m_form.Timer1->stop();
}
void FormSortWindow::executeIniSave() {
    m_form.INI_Save->Execute();
}
void FormSortWindow::showRefusal(const QString& reason) {
    // The status bar shows one line; the lamp's tip keeps the whole reason.
    m_form.JvStatusBar1->setPanelText(0, reason.section(QStringLiteral("\r\n"), 0, 0));
    m_form.JvLED1->setToolTip(QStringLiteral("Mode automatique\r\n\r\n") + reason);
}
void FormSortWindow::openRootFolder() {
    ShellOpenFolder(m_form.JvDirectoryEdit1->Directory());
}

namespace {

controls::CheckBox* box(TForm1& form, settings::Criterion which) {
    switch (which) {
    case settings::Criterion::Letter:
        return form.chk_ABC;
    case settings::Criterion::Year:
        return form.chk_A;
    case settings::Criterion::Month:
        return form.chk_M;
    case settings::Criterion::Day:
        break;
    }
    return form.chk_D;
}

controls::MenuItem* item(TForm1& form, settings::Option which) {
    switch (which) {
    case settings::Option::Journal:
        return form.chk_MOUCHARD;
    case settings::Option::AutoClose:
        return form.chk_AutoClose;
    case settings::Option::CaptureDate:
        return form.chk_PRISEDEVUE;
    case settings::Option::Warnings:
        return form.chk_Dialogs;
    case settings::Option::AutoMode:
        break;
    }
    return form.chk_AUTO;
}

} // namespace

QWidget& FormSettingsWindow::form() {
    return m_form;
}
QString FormSettingsWindow::RootFolder() const {
    return m_form.JvDirectoryEdit1->Directory();
}
void FormSettingsWindow::setRootFolder(const QString& folder) {
    m_form.JvDirectoryEdit1->setDirectory(folder);
}
int FormSettingsWindow::OuterTabIndex() const {
    return m_form.PageControl_Range->TabIndex();
}
bool FormSettingsWindow::criterion(settings::Criterion which) const {
    return box(m_form, which)->Checked();
}
void FormSettingsWindow::setCriterion(settings::Criterion which, bool checked) {
    box(m_form, which)->setChecked(checked);
}
bool FormSettingsWindow::option(settings::Option which) const {
    return item(m_form, which)->Checked();
}
void FormSettingsWindow::setOption(settings::Option which, bool checked) {
    item(m_form, which)->setCheckedSilently(checked);
}
void FormSettingsWindow::showFlattenWarning() {
    m_form.JvDirectoryListBox2Change();
}

void FormUndoWindow::setPanelText(int panel, const QString& text) {
    m_form.JvStatusBar1->setPanelText(panel, text);
}
void FormUndoWindow::setGaugeMinValue(int value) {
    m_form.Gauge1->setMinValue(value);
}
void FormUndoWindow::setGaugeMaxValue(int value) {
    m_form.Gauge1->setMaxValue(value);
}
void FormUndoWindow::setGaugeProgress(int value) {
    m_form.Gauge1->setProgress(value);
}
void FormUndoWindow::showGauge() {
    m_form.Gauge1->raise();
    m_form.Gauge1->show();
    // While the undo works, the run button stops it, as it stops a run.
    if (m_caption.isNull()) {
        m_caption = m_form.Button1->Caption();
        m_form.Button1->setCaption(sorting::RunningCaption);
    }
}
void FormUndoWindow::hideGauge() {
    m_form.Gauge1->hide();
    if (!m_caption.isNull())
        m_form.Button1->setCaption(std::exchange(m_caption, QString()));
}
void FormUndoWindow::updateLists() {
    m_form.JvFileListBox1->Update();
    m_form.JvDirectoryListBox1->Update();
    m_form.JvDirectoryListBox2->Update();
}
