#include "Themes.h"

#include <QApplication>
#include <QFile>

#include "outil32_Dialogs.h"

namespace {

QString resourceOf(const QString& name) {
    QString file = name.toLower();
    file.replace(u' ', u'-');
    return QStringLiteral(":/themes/") + file + QStringLiteral(".qss");
}

} // namespace

QStringList Themes() {
    return {QStringLiteral("Metropolis UI Blue"), QStringLiteral("Carbon")};
}

bool ApplyTheme(const QString& name) {
    QFile sheet(resourceOf(name));
    if (!Themes().contains(name) || !sheet.open(QIODevice::ReadOnly)) {
        MsgDlg(QStringLiteral("Le thème « %1 » ne peut pas être appliqué : l'aspect standard est "
                              "conservé.")
                   .arg(name),
               mtError);
        return false;
    }
    qApp->setStyleSheet(QString::fromUtf8(sheet.readAll()));
    return true;
}
