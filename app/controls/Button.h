// A push button with a caption that may hold CR LF line breaks and a linked action.
#pragma once

#include <QPushButton>

namespace controls {

class Action;

class Button : public QPushButton {
    Q_OBJECT
public:
    explicit Button(QWidget* parent = nullptr);
    QString Caption() const { return m_caption; }
    // Shown as written, a CR LF pair breaking the line; the linked action keeps its own.
    void setCaption(const QString& caption);
    // The button takes the action's caption and executes the action when clicked.
    void setAction(Action* action);

private:
    QString m_caption;
};

} // namespace controls
