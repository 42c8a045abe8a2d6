// The window's controls as the flatten command sees them.
#pragma once

#include "FlattenWindow.h"

class TForm1;

class FormFlattenWindow : public flatten::FlattenWindow {
public:
    explicit FormFlattenWindow(TForm1& form) : m_form(form) {}
    QString TopFolder() const override;

private:
    TForm1& m_form;
};
