// The root-folder chooser: a read-only field, a button at its right end for the folder dialog,
// and drops of its own.
#pragma once

#include <QLineEdit>

namespace controls {

class DirectoryEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit DirectoryEdit(QWidget* parent = nullptr);

    // What was typed too, in the system's own form.
    QString Directory() const;
    // A value other than the current text raises Change; the same text raises nothing.
    void setDirectory(const QString& folder);
    QString InitialDir() const { return m_initialDir; }
    void setInitialDir(const QString& folder) { m_initialDir = folder; }
    QString DialogText() const { return m_dialogText; }
    void setDialogText(const QString& text) { m_dialogText = text; }

    // Opens the folder dialog, as the button does.
    void browse();
    // What a drop of these paths writes: the folder of a file, or the item itself.
    static QString dropTarget(const QStringList& paths);

signals:
    void Change();
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QString m_initialDir;
    QString m_dialogText;
};

} // namespace controls
