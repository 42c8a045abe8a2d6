#include "FileListBox.h"

#include <QCursor>
#include <QGuiApplication>

#include "FolderListing.h"
#include "platform_convert.h"

namespace controls {

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_names.size());
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_names.size())
        return {};
    if (role == Qt::DisplayRole || role == Qt::EditRole)
        return m_names.at(index.row());
    return {};
}

void FileListModel::setNames(QStringList names) {
    beginResetModel();
    m_names = std::move(names);
    endResetModel();
}

FileListBox::FileListBox(QWidget* parent) : QListView(parent) {
    setModel(&m_model);
    setUniformItemSizes(true); // lets the view lay out 100,000 rows without measuring each
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_scroll.setSingleShot(true);
    m_scroll.setInterval(0);
    connect(&m_scroll, &QTimer::timeout, this, &FileListBox::showPendingSelection);
}

QStringList FileListBox::readFolder(const QString& folder) {
    bool busy = false;
    QStringList names = listing::FileNames(folder, [&busy] {
        if (qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
            QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
            busy = true;
        }
    });
    if (busy)
        QGuiApplication::restoreOverrideCursor();
    return names;
}

void FileListBox::setDirectory(const QString& folder) {
    m_directory = folder;
    Update();
}

void FileListBox::Update() {
    m_pending = -1;
    m_model.setNames(readFolder(m_directory));
}

int FileListBox::ItemIndex() const {
    if (m_pending >= 0)
        return m_pending;
    const QModelIndexList rows = selectionModel()->selectedRows();
    return rows.isEmpty() ? -1 : rows.first().row();
}

void FileListBox::setSelected(int index, bool selected) {
    const QModelIndex row = m_model.index(index);
    if (!row.isValid())
        return;
    if (!selected) {
        if (m_pending == index)
            m_pending = -1;
        selectionModel()->select(row, QItemSelectionModel::Deselect);
        return;
    }
    // The view shows the entry in hand when the window next handles its messages: a run
    // selects thousands of entries a second, and showing each would cost more than the copy.
    m_pending = index;
    if (!m_scroll.isActive())
        m_scroll.start();
}

void FileListBox::showPendingSelection() {
    if (m_pending < 0)
        return;
    const QModelIndex row = m_model.index(m_pending);
    m_pending = -1;
    selectionModel()->select(row, QItemSelectionModel::ClearAndSelect);
    selectionModel()->setCurrentIndex(row, QItemSelectionModel::NoUpdate);
    scrollTo(row);
}

QString FileListBox::FileName() const {
    const int index = ItemIndex();
    return index < 0 ? QString() : m_directory + ordalix::PathDelim + Items().at(index);
}

} // namespace controls
