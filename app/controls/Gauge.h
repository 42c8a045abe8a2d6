// A progress gauge: a bar filled from the left and the percentage centred on it.
#pragma once

#include <QWidget>

namespace controls {

class Gauge : public QWidget {
    Q_OBJECT
public:
    explicit Gauge(QWidget* parent = nullptr);

    int MinValue() const { return m_min; }
    int MaxValue() const { return m_max; }
    int Progress() const { return m_progress; }
    void setMinValue(int value); // raises Progress to it
    void setMaxValue(int value); // lowers Progress to it
    void setProgress(int value); // kept within [MinValue, MaxValue]
    int PercentDone() const;
    QString text() const; // "42%"
    void setForeColor(const QColor& color) { m_fore = color; }
    void setBackColor(const QColor& color) { m_back = color; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int m_min = 0;
    int m_max = 100;
    int m_progress = 0;
    QColor m_fore = Qt::green;
    QColor m_back = Qt::white;
};

} // namespace controls
