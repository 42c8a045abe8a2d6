// A panel with a coloured caption strip, on its left side or on top.
#pragma once

#include <QWidget>

class QBoxLayout;

namespace controls {

class CaptionPanel : public QWidget {
    Q_OBJECT
public:
    enum Position { Left, Top };
    CaptionPanel(const QString& caption, Position position, QWidget* parent = nullptr);
    QString Caption() const { return m_caption; }
    // Where the panel's content goes.
    QBoxLayout* body() const { return m_body; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRect strip() const;
    QString m_caption;
    Position m_position;
    QBoxLayout* m_body;
    static constexpr int StripSize = 20;
};

} // namespace controls
