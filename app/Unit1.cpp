#include "Unit1.h"

#include <algorithm>

#include <QApplication>
#include <QBoxLayout>
#include <QCloseEvent>
#include <QDate>
#include <QFontDatabase>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QShowEvent>

#include "Flatten.h"
#include "FormFlattenWindow.h"
#include "FormViews.h"
#include "Settings.h"
#include "Sorting.h"
#include "StopRequest.h"
#include "Undo.h"
#include "outil32_DIR.h"
#include "outil32_Dialogs.h"
#include "outil32_FILE.h"
#include "outil32_WIN.h"
#include "outil32_ini.h"
#include "platform_convert.h"

using namespace controls;
using ordalix::PathDelim;

namespace {

const QString kDelim = QString(PathDelim);

template <typename T> T* named(T* object, const QString& name) {
    object->setObjectName(name);
    return object;
}

QWidget* plainPanel(const QString& name, QWidget* parent) {
    auto* panel = named(new QWidget(parent), name);
    return panel;
}

void setMargins(QLayout* layout, int margin) {
    layout->setContentsMargins(margin, margin, margin, margin);
}

} // namespace

QString TForm1::fontFamily() {
    static const QString family =
        QFontDatabase::families().contains(QStringLiteral("Tahoma"))
            ? QStringLiteral("Tahoma")
            : QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    return family;
}

QFont TForm1::font(int pixels, bool bold) const {
    QFont f(fontFamily());
    f.setPixelSize(pixels);
    f.setBold(bold);
    return f;
}

static void initResources() {
    Q_INIT_RESOURCE(resources);
}

TForm1::TForm1(const QStringList& arguments, QWidget* parent) : QMainWindow(parent) {
    initResources();
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Ordalix : Vermilux ***{:- V.21.12"));
    setWindowIcon(QIcon(QStringLiteral(":/ordalix.svg")));
    QMainWindow::setFont(font(11));
    for (const char* image : {"folder", "refresh", "sort", "explore", "flatten", "stop", "lamp"})
        ImageList1.append(QIcon(QStringLiteral(":/images/%1.svg").arg(QLatin1String(image))));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setBackgroundRole(QPalette::Button);
    client->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    setCentralWidget(client);

    PageControl_Range = named(new PageControl(client), QStringLiteral("PageControl_Range"));
    column->addWidget(PageControl_Range, 1);
    buildActions();
    buildSortTab();
    buildFlattenTab();
    buildBottom();
    column->addWidget(Gauge1);
    column->addWidget(JvStatusBar1);
    column->addWidget(JvCaptionPanel1);
    buildMenu();

    Timer1 = named(new QTimer(this), QStringLiteral("Timer1"));
    Timer1->setInterval(6000);
    JvDragDrop1 = named(new DragDrop(this), QStringLiteral("JvDragDrop1"));

    bindEvents();
    qApp->installEventFilter(this);
    resize(533, 372);
    FormCreate(arguments);
}

void TForm1::FormCreate(const QStringList& arguments) {
    FormSettingsWindow view(*this);
    try {
        settings::LoadStartupSettings(view, arguments);
    } catch (const settings::EConvertError& error) {
        MsgDlg(error.message(), mtError);
    } catch (const EIniError& error) {
        MsgDlg(error.message(), mtError);
    }
}

void TForm1::FormShow() {
    PageControl_Range->setTabIndex(0);
    PageControl_Fichiers->setTabIndex(0);
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!m_shown && !event->spontaneous()) {
        m_shown = true;
        FormShow();
    }
}

TForm1::~TForm1() {
    qApp->removeEventFilter(this);
}

void TForm1::buildActions() {
    Ordalix = new Action(QStringLiteral("Ordalix"), QStringLiteral("RANGER Tout !"), this);
    INI_Save = new Action(QStringLiteral("INI_Save"), QStringLiteral("INI_Save"), this);
    INI_GET = new Action(QStringLiteral("INI_GET"), QStringLiteral("INI_GET"), this);
    Statusbar_Update =
        new Action(QStringLiteral("Statusbar_Update"), QStringLiteral("Statusbar_Update"), this);
    DeOrdalix = new Action(QStringLiteral("DeOrdalix"), QStringLiteral("DéOrdalix !"), this);
    Date_checked = new Action(QStringLiteral("Date_checked"), QStringLiteral("Date_checked"), this);
}

void TForm1::buildSortTab() {
    TabSheet1 = plainPanel(QStringLiteral("TabSheet1"), PageControl_Range);
    PageControl_Range->addTab(TabSheet1, QStringLiteral("Ordalix"));
    auto* row = new QHBoxLayout(TabSheet1);
    setMargins(row, 0);
    row->setSpacing(0);

    PageControl_Fichiers =
        named(new PageControl(TabSheet1), QStringLiteral("PageControl_Fichiers"));
    PageControl_Fichiers->setTabPosition(QTabWidget::West);
    row->addWidget(PageControl_Fichiers, 1);

    TabSheet3 = plainPanel(QStringLiteral("TabSheet3"), PageControl_Fichiers);
    PageControl_Fichiers->addTab(TabSheet3, QStringLiteral("Fichiers"));
    auto* files = new QVBoxLayout(TabSheet3);
    setMargins(files, 0);
    JvCaptionPanel3 =
        named(new CaptionPanel(QStringLiteral("Fichiers à ranger"), CaptionPanel::Left, TabSheet3),
              QStringLiteral("JvCaptionPanel3"));
    files->addWidget(JvCaptionPanel3);
    JvFileListBox1 = named(new FileListBox(JvCaptionPanel3), QStringLiteral("JvFileListBox1"));
    JvCaptionPanel3->body()->addWidget(JvFileListBox1);

    TabSheet4 = plainPanel(QStringLiteral("TabSheet4"), PageControl_Fichiers);
    PageControl_Fichiers->addTab(TabSheet4, QStringLiteral("Dossiers"));
    auto* folders = new QVBoxLayout(TabSheet4);
    setMargins(folders, 0);
    JvCaptionPanel2 =
        named(new CaptionPanel(QStringLiteral("Dossiers à ranger"), CaptionPanel::Left, TabSheet4),
              QStringLiteral("JvCaptionPanel2"));
    folders->addWidget(JvCaptionPanel2);
    JvDirectoryListBox1 =
        named(new DirectoryListBox(JvCaptionPanel2), QStringLiteral("JvDirectoryListBox1"));
    JvDirectoryListBox1->setToolTip(
        QStringLiteral("double clic pour changer de dossier de travail en mode fichiers"));
    JvCaptionPanel2->body()->setContentsMargins(20 + 3, 3, 3, 3);
    JvCaptionPanel2->body()->addWidget(JvDirectoryListBox1);

    Panel1 = plainPanel(QStringLiteral("Panel1"), TabSheet1);
    Panel1->setFixedWidth(185 + 6);
    row->addWidget(Panel1);
    auto* side = new QVBoxLayout(Panel1);
    setMargins(side, 3);
    side->setSpacing(3);

    GroupBox1 = named(new QGroupBox(QStringLiteral("Critères de rangement"), Panel1),
                      QStringLiteral("GroupBox1"));
    GroupBox1->setFont(font(13, true));
    GroupBox1->setFixedHeight(160);
    side->addWidget(GroupBox1);
    auto place = [this](QWidget* widget, int left, int top, int width, int height, int pixels,
                        bool bold) {
        widget->setParent(GroupBox1);
        widget->setGeometry(left, top, width, height);
        widget->setFont(font(pixels, bold));
    };
    Label1 = named(new QLabel(QStringLiteral("Alpha")), QStringLiteral("Label1"));
    Label1->setToolTip(QStringLiteral("Classment par odre alphabétique A;Bc ..."));
    place(Label1, 16, 24, 32 + 8, 13, 11, true);
    chk_ABC = named(new CheckBox(QStringLiteral("1ère Lettre")), QStringLiteral("chk_ABC"));
    place(chk_ABC, 38, 43, 97 + 20, 17, 13, false);
    Label2 = named(new QLabel(QStringLiteral("Chrono")), QStringLiteral("Label2"));
    Label2->setToolTip(QStringLiteral("Classement par ordre chronologique"));
    place(Label2, 17, 67, 40 + 10, 13, 11, true);
    chk_A = named(new CheckBox(QStringLiteral("Année")), QStringLiteral("chk_A"));
    place(chk_A, 38, 87, 65 + 10, 17, 13, false);
    chk_A->setChecked(true);
    Label3 = named(new QLabel(kDelim), QStringLiteral("Label3"));
    place(Label3, 21, 113, 5 + 4, 16, 13, false);
    chk_M = named(new CheckBox(QStringLiteral("Mois")), QStringLiteral("chk_M"));
    place(chk_M, 38, 109, 58 + 10, 17, 13, false);
    chk_D = named(new CheckBox(QStringLiteral("Jour")), QStringLiteral("chk_D"));
    place(chk_D, 38, 132, 58 + 10, 17, 13, false);
    QWidget::setTabOrder(chk_ABC, chk_A);
    QWidget::setTabOrder(chk_A, chk_M);
    QWidget::setTabOrder(chk_M, chk_D);

    Button1 = named(new Button(Panel1), QStringLiteral("Button1"));
    Button1->setFont(font(13, true));
    Button1->setStyleSheet(QStringLiteral("color: red;"));
    Button1->setMinimumWidth(82);
    Button1->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    Button1->setIcon(ImageList1.value(2));
    Button1->setDefault(true);
    Button1->setAction(Ordalix);
    side->addWidget(Button1, 1);
}

void TForm1::buildFlattenTab() {
    TabSheet2 = plainPanel(QStringLiteral("TabSheet2"), PageControl_Range);
    PageControl_Range->addTab(TabSheet2, QStringLiteral("DéOrdalix"));
    auto* row = new QHBoxLayout(TabSheet2);
    setMargins(row, 0);
    row->setSpacing(0);

    panel_files = named(
        new CaptionPanel(QStringLiteral("Dossiers à Déranger"), CaptionPanel::Left, TabSheet2),
        QStringLiteral("panel_files"));
    row->addWidget(panel_files, 1);
    JvDirectoryListBox2 =
        named(new DirectoryListBox(panel_files), QStringLiteral("JvDirectoryListBox2"));
    JvDirectoryListBox2->setToolTip(
        QStringLiteral("double clic pour changer de dossier de travail en mode fichiers"));
    panel_files->body()->setContentsMargins(20 + 3, 3, 3, 3);
    panel_files->body()->addWidget(JvDirectoryListBox2);

    Panel3 = plainPanel(QStringLiteral("Panel3"), TabSheet2);
    Panel3->setFixedWidth(185 + 6);
    row->addWidget(Panel3);
    auto* side = new QVBoxLayout(Panel3);
    setMargins(side, 3);
    side->setSpacing(0);

    Gbox_derange =
        named(new QGroupBox(QStringLiteral("DéOrdalix"), Panel3), QStringLiteral("Gbox_derange"));
    Gbox_derange->setFont(font(13, true));
    side->addWidget(Gbox_derange, 1);
    auto* inside = new QVBoxLayout(Gbox_derange);
    setMargins(inside, 3);
    lbl_derange =
        named(new QLabel(QStringLiteral("DéOrdalix"), Gbox_derange), QStringLiteral("lbl_derange"));
    lbl_derange->setFont(font(13));
    lbl_derange->setWordWrap(true);
    lbl_derange->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lbl_derange->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    inside->addWidget(lbl_derange);

    Panel4 = plainPanel(QStringLiteral("Panel4"), Panel3);
    Panel4->setFixedHeight(74);
    side->addWidget(Panel4);
    auto* buttons = new QHBoxLayout(Panel4);
    setMargins(buttons, 0);
    buttons->setSpacing(0);
    // Button3 comes first in the control order: it is the default button the Enter key finds.
    Button3 = named(new Button(Panel4), QStringLiteral("Button3"));
    Button2 = named(new Button(Panel4), QStringLiteral("Button2"));
    Button2->setFont(font(13, true));
    Button2->setStyleSheet(QStringLiteral("color: red;"));
    Button2->setMinimumWidth(82);
    Button2->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    Button2->setIcon(ImageList1.value(4));
    Button2->setDefault(true);
    Button2->setAction(DeOrdalix);
    Button3->setCaption(QStringLiteral("!"));
    Button3->setToolTip(QStringLiteral("Annuler"));
    Button3->setFont(font(13, true));
    Button3->setStyleSheet(QStringLiteral("color: red;"));
    Button3->setFixedWidth(19);
    Button3->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    Button3->setDefault(true);
    auto* fill = new QVBoxLayout;
    setMargins(fill, 3);
    fill->addWidget(Button2);
    auto* right = new QVBoxLayout;
    setMargins(right, 3);
    right->addWidget(Button3);
    buttons->addLayout(fill, 1);
    buttons->addLayout(right);
}

void TForm1::buildBottom() {
    QWidget* client = centralWidget();
    Gauge1 = named(new Gauge(client), QStringLiteral("Gauge1"));
    Gauge1->setFixedHeight(21);
    Gauge1->setFont(font(11, true));
    Gauge1->setForeColor(Qt::green);
    Gauge1->setBackColor(Qt::white);
    Gauge1->hide();

    JvStatusBar1 = named(new StatusBar(client), QStringLiteral("JvStatusBar1"));
    // Its designed 16 pixels of text and margins, or as much as the font needs: a line cut at
    // its descenders reads badly, and larger fonts or screens need more.
    JvStatusBar1->setContentsMargins(3, 1, 3, 1);
    JvStatusBar1->setFixedHeight(std::max(16 + 6, JvStatusBar1->fontMetrics().height() + 8));

    JvCaptionPanel1 = named(
        new CaptionPanel(QStringLiteral("Déposez un dossier à ranger"), CaptionPanel::Top, client),
        QStringLiteral("JvCaptionPanel1"));
    JvCaptionPanel1->setFixedHeight(57);
    JvDirectoryEdit1 =
        named(new DirectoryEdit(JvCaptionPanel1), QStringLiteral("JvDirectoryEdit1"));
    JvDirectoryEdit1->setFont(font(13, true));
    JvDirectoryEdit1->setText(kDelim);
    JvDirectoryEdit1->setInitialDir(kDelim);
    JvDirectoryEdit1->setDialogText(QStringLiteral("Dossier racine"));
    JvCaptionPanel1->body()->addWidget(JvDirectoryEdit1, 1);
    JvLED1 = named(new Led(JvCaptionPanel1), QStringLiteral("JvLED1"));
    JvLED1->setFixedWidth(33);
    JvLED1->setToolTip(QStringLiteral("Mode automatique"));
    JvCaptionPanel1->body()->addWidget(JvLED1);
}

void TForm1::buildMenu() {
    PopupMenu1 = named(new QMenu(this), QStringLiteral("PopupMenu1"));
    PopupMenu1->setToolTipsVisible(true);
    auto item = [this](const QString& name, const QString& caption, const QString& hint) {
        auto* action = new MenuItem(name, caption, this);
        action->setToolTip(hint);
        PopupMenu1->addAction(action);
        return action;
    };
    Raffraichir1 = item(QStringLiteral("Raffraichir1"), QStringLiteral("Raffraichir"),
                        QStringLiteral("Remet la lsite à jour"));
    Raffraichir1->setIcon(ImageList1.value(1));
    Raffraichir1->setShortcut(QKeySequence(Qt::Key_F5));
    Raffraichir1->setShortcutContext(Qt::WidgetShortcut);
    mnu_EXPLORE =
        item(QStringLiteral("mnu_EXPLORE"), QStringLiteral("Explorer le dossier racine"), {});
    mnu_EXPLORE->setIcon(ImageList1.value(3));
    mnu_ANNULER =
        item(QStringLiteral("mnu_ANNULER"), QStringLiteral("Annuler le dernier rangement"),
             QStringLiteral("Remet en place ce que le dernier rangement a déplacé"));
    mnu_ANNULER->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    mnu_ANNULER->setShortcutContext(Qt::WindowShortcut);
    addAction(mnu_ANNULER); // Ctrl+Z anywhere in the window, not only over the lists
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("barre"));
    chk_MOUCHARD = item(QStringLiteral("chk_MOUCHARD"),
                        QStringLiteral("Ajouter des mouchards (trace + journal)"),
                        QStringLiteral("Ecrit un journal des opérations"));
    chk_AutoClose =
        item(QStringLiteral("chk_AutoClose"), QStringLiteral("Ranger et fermer"),
             QStringLiteral("Ferme automatiquement le programme à la fin du rangement"));
    chk_AUTO =
        item(QStringLiteral("chk_AUTO"), QStringLiteral("Mode automatique"),
             QStringLiteral("Range automatiquement les nouveaux fichiers à intervalles réguliers"));
    chk_PRISEDEVUE = item(
        QStringLiteral("chk_PRISEDEVUE"), QStringLiteral("Date de prise de vue (photos, vidéos)"),
        QStringLiteral("Range les photos et les vidéos par la date où elles ont été prises, "
                       "quand elles la portent, plutôt que par leur dernière modification"));
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N1"));
    chk_Dialogs = item(QStringLiteral("chk_Dialogs"), QStringLiteral("Activer les avertissements"),
                       QStringLiteral("Prévient et Confirme les actions"));
    for (MenuItem* option : {chk_MOUCHARD, chk_AutoClose, chk_AUTO, chk_PRISEDEVUE, chk_Dialogs})
        option->setCheckable(true);
    chk_MOUCHARD->setChecked(true);
    chk_Dialogs->setChecked(true);

    // The menu and its F5 shortcut belong to the file list and the sort tab's folder list.
    for (QAbstractItemView* list :
         std::initializer_list<QAbstractItemView*>{JvFileListBox1, JvDirectoryListBox1}) {
        list->addAction(Raffraichir1);
        list->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(list, &QWidget::customContextMenuRequested, this, [this, list](const QPoint& at) {
            PopupMenu1->popup(list->viewport()->mapToGlobal(at));
        });
    }
}

void TForm1::bindEvents() {
    connect(chk_ABC, &CheckBox::Click, this, &TForm1::chk_ABCClick);
    connect(chk_ABC, &CheckBox::MouseDown, this, &TForm1::chk_ABCMouseDown);
    connect(chk_A, &CheckBox::Click, this, &TForm1::Date_checkedExecute);
    connect(chk_A, &CheckBox::MouseDown, this, &TForm1::chk_AMouseDown);
    connect(chk_M, &CheckBox::Click, this, &TForm1::Date_checkedExecute);
    connect(chk_M, &CheckBox::MouseDown, this, &TForm1::chk_MMouseDown);
    connect(chk_D, &CheckBox::Click, this, &TForm1::Date_checkedExecute);

    connect(Raffraichir1, &MenuItem::Click, this, &TForm1::Raffraichir1Click);
    connect(mnu_EXPLORE, &MenuItem::Click, this, &TForm1::mnu_EXPLOREClick);
    connect(mnu_ANNULER, &QAction::triggered, this, &TForm1::mnu_ANNULERClick);
    connect(chk_AUTO, &MenuItem::Click, this, &TForm1::chk_AUTOClick);

    connect(Ordalix, &Action::OnExecute, this, &TForm1::OrdalixExecute);
    connect(INI_Save, &Action::OnExecute, this, &TForm1::INI_SaveExecute);
    connect(INI_GET, &Action::OnExecute, this, &TForm1::INI_GETExecute);
    connect(Statusbar_Update, &Action::OnExecute, this, &TForm1::Statusbar_UpdateExecute);
    connect(DeOrdalix, &Action::OnExecute, this, &TForm1::DeOrdalixExecute);
    connect(Date_checked, &Action::OnExecute, this, &TForm1::Date_checkedExecute);

    connect(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);
    connect(JvDragDrop1, &DragDrop::Drop, this, &TForm1::JvDragDrop1Drop);
    connect(JvLED1, &Led::Click, this, &TForm1::JvLED1Click);
    connect(JvDirectoryEdit1, &DirectoryEdit::Change, this, &TForm1::JvDirectoryEdit1Change);
    connect(JvDirectoryEdit1, &DirectoryEdit::DblClick, this, &TForm1::JvDirectoryEdit1DblClick);
    connect(JvDirectoryListBox1, &DirectoryListBox::DblClick, this,
            &TForm1::JvDirectoryListBox1DblClick);
    connect(JvDirectoryListBox2, &DirectoryListBox::Change, this,
            &TForm1::JvDirectoryListBox2Change);
    connect(JvDirectoryListBox2, &DirectoryListBox::DblClick, this,
            &TForm1::JvDirectoryListBox2DblClick);
    connect(PageControl_Range, &PageControl::Change, this, &TForm1::PageControl_RangeChange);
    connect(PageControl_Fichiers, &PageControl::Change, this, &TForm1::PageControl_FichiersChange);
    connect(Button3, &QPushButton::clicked, this, &TForm1::Button3Click);
}

// --- Criteria -------------------------------------------------------------------------------

void TForm1::chk_ABCClick() {
    JvStatusBar1->setPanelText(0, QStringLiteral("A") + kDelim + QStringLiteral("..."));
}

void TForm1::chk_ABCMouseDown() {
    chk_A->setChecked(false);
    chk_M->setChecked(false);
    chk_D->setChecked(false);
}

void TForm1::chk_AMouseDown() {
    chk_ABC->setChecked(false);
}

void TForm1::chk_MMouseDown() {
    chk_ABC->setChecked(false);
}

void TForm1::Date_checkedExecute() {
    const QDate today = this->today();
    QString preview;
    if (chk_A->Checked())
        preview += today.toString(QStringLiteral("yyyy")) + kDelim;
    if (chk_M->Checked())
        preview += today.toString(QStringLiteral("MM")) + kDelim;
    if (chk_D->Checked())
        preview += today.toString(QStringLiteral("dd"));
    JvStatusBar1->setPanelText(0, preview);
}

QDate TForm1::today() const {
    return QDate::currentDate();
}

// --- Status and root folder ------------------------------------------------------------------

void TForm1::Statusbar_UpdateExecute() {
    if (PageControl_Range->TabIndex() == 0)
        JvStatusBar1->setPanelText(
            0, QString::asprintf("%d fichiers à ranger     ", JvFileListBox1->Count()));
    else if (PageControl_Range->TabIndex() == 1)
        JvStatusBar1->setPanelText(0, QString::asprintf("%d sous-dossiers à ranger",
                                                        JvDirectoryListBox1->Count() -
                                                            JvDirectoryListBox1->ItemIndex() - 1));
}

void TForm1::JvDirectoryEdit1Change() {
    const QString root = JvDirectoryEdit1->Directory();
    JvFileListBox1->setDirectory(root);
    JvDirectoryListBox1->setDirectory(root);
    JvDirectoryListBox2->setDirectory(root);
    Statusbar_Update->Execute();
}

void TForm1::JvDirectoryEdit1DblClick() {
    ShellOpenFolder(JvDirectoryEdit1->Directory());
}

void TForm1::JvDirectoryListBox1DblClick() {
    JvDirectoryEdit1->setDirectory(
        JvDirectoryListBox1->Items().value(JvDirectoryListBox1->ItemIndex()));
    PageControl_Range->setTabIndex(0);
    PageControl_Fichiers->setTabIndex(0);
}

void TForm1::JvDirectoryListBox2DblClick() {
    JvDirectoryEdit1->setDirectory(JvDirectoryListBox2->Directory());
    PageControl_Range->setTabIndex(0);
    PageControl_Fichiers->setTabIndex(0);
}

void TForm1::JvDirectoryListBox2Change() {
    const QString folder = JvDirectoryListBox2->Directory();
    lbl_derange->setText(QStringLiteral("ATTENTION\r\nLe programme va extraire tous les fichiers "
                                        "disponibles dans tous les sous dossiers et les replacer "
                                        "dans le dossier racine: ") +
                         folder.mid(folder.lastIndexOf(PathDelim) + 1));
}

void TForm1::JvDragDrop1Drop(const QPoint&, const QStringList& paths) {
    const QString first = paths.value(0);
    if (IsFolder(first))
        JvDirectoryEdit1->setDirectory(first);
    else
        MsgDlg(QStringLiteral("Vous devez déposer uniquemement un dossier"), mtWarning);
}

// --- Tabs, refresh, explore ------------------------------------------------------------------

void TForm1::PageControl_RangeChange() {
    Statusbar_Update->Execute();
    if (PageControl_Fichiers->TabIndex() == 0)
        JvFileListBox1->Update();
    else if (PageControl_Fichiers->TabIndex() == 1)
        JvDirectoryListBox2->Update();
}

void TForm1::PageControl_FichiersChange() {
    if (PageControl_Fichiers->TabIndex() == 0) {
        JvFileListBox1->Update();
        Button1->setCaption(QStringLiteral("Ranger Tous !\r\nles Fichiers"));
    } else if (PageControl_Fichiers->TabIndex() == 1) {
        JvDirectoryListBox1->Update();
        Button1->setCaption(QStringLiteral("Ranger Tous !\r\nles Dossiers"));
    }
}

void TForm1::Raffraichir1Click() {
    JvFileListBox1->Update();
}

void TForm1::mnu_EXPLOREClick() {
    ShellOpenFolder(JvDirectoryEdit1->Directory());
}

void TForm1::mnu_ANNULERClick() {
    // Not while a run moves files, nor twice at once.
    if (m_undoing || Button1->Caption() == sorting::RunningCaption || flatten::Running())
        return;
    m_undoing = true;
    UndoExecute();
    m_undoing = false;
}

// --- Auto mode and stop ----------------------------------------------------------------------

void TForm1::chk_AUTOClick() {
    Timer1->setInterval(6000);
    if (chk_AUTO->Checked())
        Timer1->start();
    else
        Timer1->stop();
    JvLED1->setActive(chk_AUTO->Checked());
}

void TForm1::JvLED1Click() {
    JvLED1->setActive(!JvLED1->Active());
    if (JvLED1->Active())
        Timer1->start();
    else
        Timer1->stop();
    chk_AUTO->setCheckedSilently(JvLED1->Active());
}

void TForm1::Timer1Timer() {
    if (m_undoing)
        return;
    if (CountFiles(JvFileListBox1->Directory(), QStringLiteral("*.*")) > 4)
        Ordalix->Execute();
}

void TForm1::Button3Click() {
    StopRequested = true;
}

// --- Commands provided by the sorting, flatten and settings code -------------------------------

void TForm1::OrdalixExecute() {
    if (m_undoing) {
        StopRequested = true; // "STOP!" clicked during an undo
        return;
    }
    FormSortWindow view(*this);
    try {
        sorting::OrdalixExecute(view);
    } catch (const EIniError& error) {
        // A journal that cannot be written ends the run and the command; the program goes on.
        MsgDlg(error.message(), mtError);
    }
}

void TForm1::DeOrdalixExecute() {
    if (m_undoing)
        return;
    FormFlattenWindow view(*this);
    flatten::DeOrdalixExecute(view);
}

void TForm1::UndoExecute() {
    FormUndoWindow view(*this);
    undo::UndoLastRunExecute(view);
}

void TForm1::INI_GETExecute() {
    FormSettingsWindow view(*this);
    settings::INI_GETExecute(view);
}

void TForm1::INI_SaveExecute() {
    FormSettingsWindow view(*this);
    settings::INI_SaveExecute(view);
}

// --- Keyboard --------------------------------------------------------------------------------

bool TForm1::pressDefaultButton() {
    QWidget* page = PageControl_Range->currentWidget();
    for (Button* button : {Button1, Button3, Button2}) {
        if (button->isDefault() && button->isVisibleTo(this) && page->isAncestorOf(button) &&
            button->isEnabled()) {
            button->click();
            return true;
        }
    }
    return false;
}

bool TForm1::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    // A key goes first to the control with the focus, then up to its parents: take it once,
    // where it arrives (the window itself when no control has the focus).
    QWidget* first = QApplication::focusWidget();
    if (widget->window() != this || widget != (first && first->window() == this ? first : this))
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        // Enter goes to a default button and types no character.
        if (key->modifiers() == Qt::NoModifier && !qobject_cast<QPushButton*>(widget))
            return pressDefaultButton();
        return false;
    }
    if (!key->text().isEmpty() && key->key() != Qt::Key_Tab && key->key() != Qt::Key_Backtab)
        FormKeyPress(key->text().at(0));
    return false;
}

void TForm1::FormKeyPress(QChar) {
    StopRequested = true;
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (Button1->Caption() == sorting::RunningCaption) {
        StopRequested = true;
        event->ignore();
        return;
    }
    INI_Save->Execute();
    event->accept();
    // A flatten in progress notices at its next message pump that the program is ending, and
    // stops there instead of walking on behind a window that has gone.
    if (flatten::Running())
        TerminateApplication();
}
