#include <QApplication>

#include "Unit1.h"

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    TForm1 form;
    form.show();
    return application.exec();
}
