// A status bar of two text panels and a free integer slot.
#pragma once

#include <QLabel>
#include <QStatusBar>

namespace controls {

class StatusBar : public QStatusBar {
    Q_OBJECT
public:
    explicit StatusBar(QWidget* parent = nullptr);
    QLabel* Panel(int index) const { return m_panels[index]; }
    QString PanelText(int index) const { return m_panels[index]->text(); }
    void setPanelText(int index, const QString& text) { m_panels[index]->setText(text); }
    int Tag() const { return m_tag; }
    void setTag(int tag) { m_tag = tag; }

private:
    QLabel* m_panels[2];
    int m_tag = 0;
};

} // namespace controls
