#include "Unit1.h"

#include "outil32_WIN.h"

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(ApplicationTitle());
    resize(640, 480);
}
