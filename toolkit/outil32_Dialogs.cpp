#include "outil32_Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGuiApplication>
#include <QIdentityProxyModel>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include "outil32_WIN.h"

namespace Dialogs {

namespace {

Presenter* g_presenter = nullptr;

// The folder dialog's list, in French: the toolkit's own translations leave a folder's type in
// English, and its dates follow the system's language rather than the program's.
class FrenchFileColumns : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        if (index.column() == 2 && files->isDir(source))
            return QStringLiteral("Dossier");
        if (index.column() == 3)
            return QLocale().toString(files->lastModified(source),
                                      QStringLiteral("dd/MM/yyyy HH:mm"));
        return QIdentityProxyModel::data(index, role);
    }
};

QMessageBox::Icon iconFor(TMsgDlgType type) {
    switch (type) {
    case mtWarning:
        return QMessageBox::Warning;
    case mtError:
        return QMessageBox::Critical;
    case mtInformation:
        return QMessageBox::Information;
    case mtConfirmation:
        return QMessageBox::Question;
    case mtCustom:
        break;
    }
    return QMessageBox::NoIcon;
}

// Centred once shown, since the box only takes its final size when it is shown.
class CentredMessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    void showEvent(QShowEvent* event) override {
        QMessageBox::showEvent(event);
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
};

} // namespace

QString titleFor(TMsgDlgType type) {
    switch (type) {
    case mtWarning:
        return QStringLiteral("Avertissement");
    case mtError:
        return QStringLiteral("Erreur");
    case mtInformation:
        return QStringLiteral("Informations");
    case mtConfirmation:
        return QStringLiteral("Confirmer");
    case mtCustom:
        break;
    }
    return ApplicationTitle();
}

Answer QtPresenter::present(const Request& request) {
    CentredMessageBox box(iconFor(request.type), request.title, request.text);
    box.setObjectName(QStringLiteral("MessageDialog"));
    QPushButton* ok = box.addButton(
        request.okText.isEmpty() ? QStringLiteral("OK") : request.okText, QMessageBox::AcceptRole);
    ok->setObjectName(QStringLiteral("OK"));
    if (request.buttons == Buttons::OkCancel) {
        QPushButton* cancel = box.addButton(request.cancelText.isEmpty() ? QStringLiteral("Annuler")
                                                                         : request.cancelText,
                                            QMessageBox::RejectRole);
        cancel->setObjectName(QStringLiteral("Annuler"));
        box.setEscapeButton(cancel);
    } else {
        box.setEscapeButton(ok);
    }
    box.setDefaultButton(ok);
    if (!request.details.isEmpty())
        box.setDetailedText(request.details);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
    return box.clickedButton() == ok ? Answer::Ok : Answer::Cancel;
}

QString QtPresenter::chooseFolder(const QString& start, const QString& status) {
    QFileDialog dialog(QApplication::activeWindow(), status, start);
    dialog.setObjectName(QStringLiteral("FolderDialog"));
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("OK"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Annuler"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new FrenchFileColumns(&dialog));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return {};
    return QDir::toNativeSeparators(dialog.selectedFiles().first());
}

void setPresenter(Presenter* presenter) {
    g_presenter = presenter;
}

Presenter& presenter() {
    static QtPresenter qtPresenter;
    return g_presenter ? *g_presenter : qtPresenter;
}

} // namespace Dialogs

namespace {
Dialogs::Answer show(TMsgDlgType type, const QString& message, Dialogs::Buttons buttons,
                     const QString& details = {}, const QString& yes = {}, const QString& no = {}) {
    return Dialogs::presenter().present(
        {type, Dialogs::titleFor(type), message, buttons, details, yes, no});
}
} // namespace

void InfoDlg(const QString& message) {
    show(mtInformation, message, Dialogs::Buttons::Ok);
}

bool MsgDlg(const QString& message, TMsgDlgType type) {
    show(type, message, Dialogs::Buttons::Ok);
    return true;
}

bool ConfirmDlg(const QString& message, TMsgDlgType type) {
    return show(type, message, Dialogs::Buttons::OkCancel) == Dialogs::Answer::Ok;
}

bool ConfirmDlg(const QString& message, TMsgDlgType type, const QString& details) {
    return show(type, message, Dialogs::Buttons::OkCancel, details) == Dialogs::Answer::Ok;
}

bool ConfirmDlg(const QString& message, TMsgDlgType type, const QString& details,
                const QString& yes, const QString& no) {
    return show(type, message, Dialogs::Buttons::OkCancel, details, yes, no) == Dialogs::Answer::Ok;
}

bool MsgDlg(const QString& message, TMsgDlgType type, const QString& details) {
    show(type, message, Dialogs::Buttons::Ok, details);
    return true;
}

QString DetailsText(const QStringList& lines) {
    constexpr qsizetype Shown = 1000;
    if (lines.size() <= Shown)
        return lines.join(u'\n');
    return lines.mid(0, Shown).join(u'\n') +
           QStringLiteral("\n… et %1 autres").arg(lines.size() - Shown);
}

void ShowMessage(const QString& message) {
    show(mtCustom, message, Dialogs::Buttons::Ok);
}
