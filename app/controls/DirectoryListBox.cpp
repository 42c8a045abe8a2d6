#include "DirectoryListBox.h"

#include <QDir>
#include <QFileIconProvider>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "FolderListing.h"
#include "outil32_DIR.h"
#include "outil32_math.h"
#include "platform_convert.h"

namespace controls {

namespace {

using ordalix::PathDelim;

// The top of a file system: "/", or on Windows a drive's root ("C:\").
bool isRoot(const QString& folder) {
#ifdef _WIN32
    return folder.size() == 3 && folder[1] == u':' && folder[2] == PathDelim;
#else
    return folder == QString(PathDelim);
#endif
}

// A whole path: from "/", or on Windows from a drive's root or a network share.
bool isWhole(const QString& folder) {
#ifdef _WIN32
    return (folder.size() >= 3 && folder[1] == u':' && folder[2] == PathDelim) ||
           folder.startsWith(QStringLiteral("\\\\"));
#else
    return folder.startsWith(PathDelim);
#endif
}

int indentFor(const QString& path, bool first) {
    return first ? 2 : 6 + 4 * static_cast<int>(path.count(PathDelim));
}

// Draws each row at its own indent, icon first.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem shifted = option;
        shifted.rect.setLeft(option.rect.left() + index.data(FolderListModel::IndentRole).toInt());
        QStyledItemDelegate::paint(painter, shifted, index);
    }
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(17);
        size.rwidth() += index.data(FolderListModel::IndentRole).toInt();
        return size;
    }
};

} // namespace

int FolderListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

QVariant FolderListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const FolderRow& row = m_rows.at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return row.display;
    case Qt::ToolTipRole:
    case PathRole:
        return row.path;
    case IndentRole:
        return row.indent;
    case Qt::DecorationRole:
        return m_folderIcon;
    default:
        return {};
    }
}

void FolderListModel::setRows(QList<FolderRow> rows) {
    if (m_folderIcon.isNull())
        m_folderIcon = QFileIconProvider().icon(QFileIconProvider::Folder);
    beginResetModel();
    m_rows = std::move(rows);
    endResetModel();
}

DirectoryListBox::DirectoryListBox(QWidget* parent) : QListView(parent) {
    setModel(&m_model);
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setIconSize(QSize(16, 16));
    // The first build raises no change event.
    m_directory = QDir::toNativeSeparators(QDir::rootPath());
    rebuild(false);
}

QString DirectoryListBox::normalise(const QString& folder) {
    QString result = folder;
    while (result.size() > 1 && result.endsWith(PathDelim) && !isRoot(result))
        result.chop(1);
    return result;
}

QList<FolderRow> DirectoryListBox::buildRows(const QString& folder, int* currentIndex) {
    QList<FolderRow> rows;
    if (!isRoot(folder)) {
        // One row per ancestor, from the root down to the parent.
        QString ancestor;
        const QStringList pieces = folder.split(PathDelim);
        for (qsizetype i = 0; i + 1 < pieces.size(); ++i) {
            ancestor = i == 0 ? pieces[0] + PathDelim : listing::Joined(ancestor, pieces[i]);
            rows.append({ancestor, i == 0 ? ancestor : pieces[i], indentFor(ancestor, i == 0)});
        }
    }
    if (currentIndex)
        *currentIndex = static_cast<int>(rows.size());
    const qsizetype cut = folder.lastIndexOf(PathDelim);
    rows.append(
        {folder, isRoot(folder) ? folder : folder.mid(cut + 1), indentFor(folder, rows.isEmpty())});

    const QStringList names = listing::SubFolderNames(folder);
    for (const QString& name : std::as_const(names)) {
        const QString path = listing::Joined(folder, name);
        rows.append({path, name, indentFor(path, false)});
    }
    return rows;
}

void DirectoryListBox::rebuild(bool raiseChange) {
    int current = 0;
    m_model.setRows(buildRows(m_directory, &current));
    setCurrentIndex(m_model.index(current));
    scrollTo(m_model.index(current));
    if (raiseChange)
        emit Change();
}

void DirectoryListBox::setDirectory(const QString& folder) {
    // Only absolute paths name a folder here, as drive paths do elsewhere.
    if (!isWhole(folder) || !IsFolder(folder))
        return;
    const QString normal = normalise(folder);
    if (normal == m_directory)
        return;
    m_directory = normal;
    rebuild(true);
}

void DirectoryListBox::Update() {
    rebuild(true);
}

QStringList DirectoryListBox::Items() const {
    QStringList paths;
    for (const FolderRow& row : m_model.rows())
        paths.append(row.path);
    return paths;
}

int DirectoryListBox::ItemIndex() const {
    const QModelIndex current = currentIndex();
    return current.isValid() ? current.row() : -1;
}

void DirectoryListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    const QModelIndex row = indexAt(event->position().toPoint());
    if (event->button() != Qt::LeftButton || !row.isValid()) {
        QListView::mouseDoubleClickEvent(event);
        return;
    }
    // The row opens first; the double-click event then finds it as the current folder.
    setDirectory(row.data(FolderListModel::PathRole).toString());
    emit DblClick();
}

} // namespace controls
