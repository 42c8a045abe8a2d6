// A check box whose click handler runs on every change of state, by the user or by code, and
// whose mouse-down event runs for any button, before the box changes.
#pragma once

#include <QCheckBox>

namespace controls {

class CheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit CheckBox(const QString& caption, QWidget* parent = nullptr);
    bool Checked() const { return isChecked(); }
    void setCheckedState(bool checked) { setChecked(checked); }

signals:
    void Click();
    void MouseDown(Qt::MouseButton button);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace controls
