#include "PageControl.h"

namespace controls {

PageControl::PageControl(QWidget* parent) : QTabWidget(parent) {
    connect(this, &QTabWidget::currentChanged, this, [this] {
        if (!m_fromCode)
            emit Change();
    });
}

void PageControl::setTabIndex(int index) {
    m_fromCode = true;
    setCurrentIndex(index);
    m_fromCode = false;
}

} // namespace controls
