// An indicator lamp that blinks between green and red every second while active.
#pragma once

#include <QTimer>
#include <QWidget>

namespace controls {

class Led : public QWidget {
    Q_OBJECT
public:
    explicit Led(QWidget* parent = nullptr);
    bool Active() const { return m_timer.isActive(); }
    void setActive(bool active);
    bool Lit() const { return m_lit; } // showing the on colour
    QColor color() const;
    static constexpr int BlinkInterval = 1000;

signals:
    void Click();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QTimer m_timer;
    bool m_lit = true;
};

} // namespace controls
