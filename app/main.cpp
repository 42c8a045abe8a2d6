#include <QApplication>

#include "Unit1.h"
#include "outil32_DIR.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    TForm1 form;
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1 && IsFolder(arguments.at(1)))
        form.JvDirectoryEdit1->setDirectory(arguments.at(1));
    form.show();
    return application.exec();
}
