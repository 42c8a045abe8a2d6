// The main window: its controls, actions and event handlers.
#pragma once

#include <QDate>
#include <QMainWindow>
#include <QTimer>

#include "controls/Button.h"
#include "controls/CaptionPanel.h"
#include "controls/CheckBox.h"
#include "controls/DirectoryEdit.h"
#include "controls/DirectoryListBox.h"
#include "controls/DragDrop.h"
#include "controls/FileListBox.h"
#include "controls/Gauge.h"
#include "controls/Led.h"
#include "controls/MenuItem.h"
#include "controls/PageControl.h"
#include "controls/StatusBar.h"

class QGroupBox;
class QLabel;
class QMenu;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Builds the window, then runs FormCreate with the program's arguments (its own name left
    // out): the settings, the root folder and the placement.
    explicit TForm1(const QStringList& arguments = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, by their component names.
    controls::PageControl* PageControl_Range;
    QWidget* TabSheet1;
    controls::PageControl* PageControl_Fichiers;
    QWidget* TabSheet3;
    controls::CaptionPanel* JvCaptionPanel3;
    controls::FileListBox* JvFileListBox1;
    QWidget* TabSheet4;
    controls::CaptionPanel* JvCaptionPanel2;
    controls::DirectoryListBox* JvDirectoryListBox1;
    QWidget* Panel1;
    QGroupBox* GroupBox1;
    QLabel* Label1;
    controls::CheckBox* chk_ABC;
    QLabel* Label2;
    controls::CheckBox* chk_A;
    QLabel* Label3;
    controls::CheckBox* chk_M;
    controls::CheckBox* chk_D;
    controls::Button* Button1;
    QWidget* TabSheet2;
    controls::CaptionPanel* panel_files;
    controls::DirectoryListBox* JvDirectoryListBox2;
    QWidget* Panel3;
    QWidget* Panel4;
    controls::Button* Button3;
    controls::Button* Button2;
    QGroupBox* Gbox_derange;
    QLabel* lbl_derange;
    controls::Gauge* Gauge1;
    controls::StatusBar* JvStatusBar1;
    controls::CaptionPanel* JvCaptionPanel1;
    controls::DirectoryEdit* JvDirectoryEdit1;
    controls::Led* JvLED1;

    controls::DragDrop* JvDragDrop1;
    QList<QIcon> ImageList1;
    QMenu* PopupMenu1;
    controls::MenuItem* Raffraichir1;
    controls::MenuItem* mnu_EXPLORE;
    controls::MenuItem* mnu_ANNULER;
    controls::MenuItem* chk_MOUCHARD;
    controls::MenuItem* chk_AutoClose;
    controls::MenuItem* chk_AUTO;
    controls::MenuItem* chk_PRISEDEVUE;
    controls::MenuItem* chk_Dialogs;

    controls::Action* Ordalix;
    controls::Action* INI_Save;
    controls::Action* INI_GET;
    controls::Action* Statusbar_Update;
    controls::Action* DeOrdalix;
    controls::Action* Date_checked;

    QTimer* Timer1;

    // Event handlers.
    void chk_ABCClick();
    void chk_ABCMouseDown();
    void chk_AMouseDown();
    void chk_MMouseDown();
    void Date_checkedExecute();
    void Statusbar_UpdateExecute();
    void JvDirectoryEdit1Change();
    void JvDirectoryEdit1DblClick();
    void JvDirectoryListBox1DblClick();
    void JvDirectoryListBox2DblClick();
    void JvDirectoryListBox2Change();
    void JvDragDrop1Drop(const QPoint& point, const QStringList& paths);
    void PageControl_RangeChange();
    void PageControl_FichiersChange();
    void Raffraichir1Click();
    void mnu_EXPLOREClick();
    // Takes the last run back, after showing what will be put back.
    void mnu_ANNULERClick();
    void chk_AUTOClick();
    void JvLED1Click();
    void Timer1Timer();
    void Button3Click();
    void FormCreate(const QStringList& arguments);
    void FormShow();
    // Every character key typed in the window, before the control with the focus gets it.
    void FormKeyPress(QChar key);

    // Commands that later parts of the program provide.
    virtual void OrdalixExecute();
    virtual void DeOrdalixExecute();
    virtual void INI_GETExecute();
    virtual void INI_SaveExecute();
    virtual void UndoExecute();

    // The window's design-time font family: Tahoma where installed, the system's sans otherwise.
    static QString fontFamily();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Refused while a sorting run is in progress, where it becomes a stop request.
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // Today's date for the previews; tests fix it.
    virtual QDate today() const;

private:
    void buildSortTab();
    void buildFlattenTab();
    void buildBottom();
    void buildMenu();
    void buildActions();
    void bindEvents();
    QFont font(int pixels, bool bold = false) const;
    // The Enter key outside a button clicks the first default button shown on the current tab.
    bool pressDefaultButton();
    bool m_shown = false;
    // An undo is under way: the run button says "STOP!" and stops it, and nothing else starts.
    bool m_undoing = false;
};
