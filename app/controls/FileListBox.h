// A list of the files lying directly in one folder, backed by a model so that a folder of
// 100,000 files costs one string per file.
#pragma once

#include <QAbstractListModel>
#include <QListView>
#include <QStringList>
#include <QTimer>

namespace controls {

class FileListModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void setNames(QStringList names);
    const QStringList& names() const { return m_names; }

private:
    QStringList m_names;
};

class FileListBox : public QListView {
    Q_OBJECT
public:
    explicit FileListBox(QWidget* parent = nullptr);

    QString Directory() const { return m_directory; }
    // Shows that folder and reads it at once.
    void setDirectory(const QString& folder);
    // Reads the folder again; no entry is selected afterwards.
    void Update();

    const QStringList& Items() const { return m_model.names(); }
    int Count() const { return static_cast<int>(m_model.names().size()); }
    int ItemIndex() const;
    void setSelected(int index, bool selected);
    // Directory, a delimiter and the selected entry; empty when nothing is selected.
    QString FileName() const;

    // The names the list shows for a folder: files only, no hidden ones, names with a dot,
    // sorted without regard to case in the user's collation.
    static QStringList readFolder(const QString& folder);

private:
    void showPendingSelection();

    QString m_directory;
    FileListModel m_model;
    QTimer m_scroll;
    int m_pending = -1; // selected, not shown yet
};

} // namespace controls
