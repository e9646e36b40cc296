#include "ui/file_list_view.h"
#include "ui/ui_text.h"

#include <QItemSelection>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

namespace moraven {

int FileListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_list.rowCount();
}

QVariant FileListModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_list.rowCount()) return {};
    return uiPath(m_list.caption(index.row()));
}

bool FileListModel::refreshRows() {
    if (m_shownVersion == m_list.rowsVersion()) return false;
    beginResetModel();
    m_shownVersion = m_list.rowsVersion();
    endResetModel();
    return true;
}

FileListView::FileListView(FileList& list, QWidget* parent) : QListView(parent), m_list(list), m_model(list) {
    setModel(&m_model);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setUniformItemSizes(true);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { copySelectionToList(); });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { copySelectionToList(); });
}

void FileListView::syncFromList() {
    m_syncing = true;
    const int scroll = verticalScrollBar()->value();
    const bool reset = m_model.refreshRows();
    QItemSelection selection;
    const int rows = m_list.rowCount();
    for (int first = 0; first < rows;) {
        if (!m_list.isSelected(first)) {
            ++first;
            continue;
        }
        int last = first;
        while (last + 1 < rows && m_list.isSelected(last + 1)) ++last;
        selection.select(m_model.index(first), m_model.index(last));
        first = last + 1;
    }
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    const int item = m_list.itemIndex();
    selectionModel()->setCurrentIndex(item >= 0 ? m_model.index(item) : QModelIndex(),
                                      QItemSelectionModel::NoUpdate);
    if (reset) verticalScrollBar()->setValue(scroll);
    m_syncing = false;
}

void FileListView::copySelectionToList() {
    if (m_syncing) return;
    const int rows = m_list.rowCount();
    for (int row = 0; row < rows; ++row) m_list.setSelected(row, selectionModel()->isRowSelected(row, {}));
    const QModelIndex current = selectionModel()->currentIndex();
    m_list.setItemIndex(current.isValid() ? current.row() : -1);
}

void FileListView::keyReleaseEvent(QKeyEvent* event) {
    QListView::keyReleaseEvent(event);
    if (event->modifiers() & Qt::ControlModifier) return;
    switch (event->key()) {
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
        case Qt::Key_End:
        case Qt::Key_Home:
        case Qt::Key_Up:
        case Qt::Key_Down:
            if (onUserRefresh) onUserRefresh();
            break;
        default:
            break;
    }
}

void FileListView::mouseReleaseEvent(QMouseEvent* event) {
    QListView::mouseReleaseEvent(event);
    if (onUserRefresh) onUserRefresh();
}

}  // namespace moraven
