// A tab control whose TabIndex written from code switches the page without raising Change.
#pragma once

#include <QTabWidget>

namespace controls {

class PageControl : public QTabWidget {
    Q_OBJECT
public:
    explicit PageControl(QWidget* parent = nullptr);
    int TabIndex() const { return currentIndex(); }
    void setTabIndex(int index);

signals:
    void Change(); // the user selected a tab

private:
    bool m_fromCode = false;
};

} // namespace controls
