#include "FormFlattenWindow.h"

#include "Unit1.h"

QString FormFlattenWindow::TopFolder() const { return m_form.JvDirectoryListBox2->Directory(); }
