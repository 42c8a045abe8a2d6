#include <QApplication>

#include "Settings.h"
#include "Themes.h"
#include "Unit1.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    ApplyTheme(QStringLiteral("Metropolis UI Blue"));
    int result = 0;
    {
        TForm1 form(QApplication::arguments().mid(1));
        form.show();
        result = application.exec();
    }
    IniPath.clear();
    return result;
}
