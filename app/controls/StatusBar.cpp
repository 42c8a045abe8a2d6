#include "StatusBar.h"

namespace controls {

StatusBar::StatusBar(QWidget* parent) : QStatusBar(parent) {
    setSizeGripEnabled(false);
    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i));
    }
    m_panels[0]->setMinimumWidth(200);
    m_panels[0]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // At least its designed width, and as wide as its text: a destination must not be cut.
    m_panels[1]->setMinimumWidth(50);
    m_panels[1]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_panels[1]->setFrameStyle(QFrame::Panel | QFrame::Raised);
    addWidget(m_panels[0], 1);
    addWidget(m_panels[1], 0);
}

} // namespace controls
