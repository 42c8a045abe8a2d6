// Modal message dialogs, centred on the screen, with French titles and buttons.
#pragma once

#include <QString>
#include <QStringList>

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

void InfoDlg(const QString& message);
// Shows the message with OK; true however the dialog is closed.
bool MsgDlg(const QString& message, TMsgDlgType type);
// Shows the message with OK (the default) and Cancel; true only for OK.
bool ConfirmDlg(const QString& message, TMsgDlgType type);
// The same with an expandable details part (one line per item), shown folded.
bool ConfirmDlg(const QString& message, TMsgDlgType type, const QString& details);
// The same with buttons that say what they do (`yes` the default, `no` as Escape).
bool ConfirmDlg(const QString& message, TMsgDlgType type, const QString& details,
                const QString& yes, const QString& no);
// MsgDlg with an expandable details part: what the message counts, one line each.
bool MsgDlg(const QString& message, TMsgDlgType type, const QString& details);
// Lines for a box's details part: the first 1,000, then how many more.
QString DetailsText(const QStringList& lines);
// The plain message box: the application's title, no icon, OK.
void ShowMessage(const QString& message);

namespace Dialogs {

enum class Buttons { Ok, OkCancel };
enum class Answer { Ok, Cancel };

struct Request {
    TMsgDlgType type = mtCustom;
    QString title;
    QString text;
    Buttons buttons = Buttons::Ok;
    QString details; // the box's expandable details part; none when empty
    // The buttons' texts; "OK" and "Annuler" when empty.
    QString okText;
    QString cancelText;
};

QString titleFor(TMsgDlgType type);

// Every dialog goes through one presenter, which tests replace to read and answer them.
class Presenter {
public:
    virtual ~Presenter() = default;
    virtual Answer present(const Request& request) = 0;
    // The folder-selection dialog: the chosen folder, or an empty string on Cancel.
    virtual QString chooseFolder(const QString& start, const QString& status) = 0;
};

// The real one: a QMessageBox.
class QtPresenter : public Presenter {
public:
    Answer present(const Request& request) override;
    QString chooseFolder(const QString& start, const QString& status) override;
};

// Installs a presenter (not owned); nullptr brings back the QMessageBox one.
void setPresenter(Presenter* presenter);
Presenter& presenter();

} // namespace Dialogs
