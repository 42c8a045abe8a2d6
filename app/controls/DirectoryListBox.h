// A folder list: the ancestors of the current folder, the folder itself, then its sub-folders.
#pragma once

#include <QAbstractListModel>
#include <QIcon>
#include <QListView>

namespace controls {

struct FolderRow {
    QString path;    // what Items gives
    QString display; // the name shown
    int indent = 0;  // pixels from the left edge
};

class FolderListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void setRows(QList<FolderRow> rows);
    const QList<FolderRow>& rows() const { return m_rows; }

    static constexpr int IndentRole = Qt::UserRole + 1;
    static constexpr int PathRole = Qt::UserRole + 2;

private:
    QList<FolderRow> m_rows;
    QIcon m_folderIcon;
};

class DirectoryListBox : public QListView {
    Q_OBJECT
public:
    explicit DirectoryListBox(QWidget* parent = nullptr);

    QString Directory() const { return m_directory; }
    // Another folder rebuilds the list and raises Change; the folder shown does nothing.
    void setDirectory(const QString& folder);
    // Rebuilds the list for the same folder and raises Change.
    void Update();

    QStringList Items() const;
    int Count() const { return static_cast<int>(m_model.rows().size()); }
    int ItemIndex() const;

    // The rows for a folder, and the index of the folder's own row.
    static QList<FolderRow> buildRows(const QString& folder, int* currentIndex = nullptr);
    // The folder as the platform reports it: no trailing delimiter but for the root.
    static QString normalise(const QString& folder);

signals:
    void Change();
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void rebuild(bool raiseChange);

    QString m_directory;
    FolderListModel m_model;
};

} // namespace controls
