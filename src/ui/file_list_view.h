#pragma once

#include <cstdint>
#include <functional>

#include <QAbstractListModel>
#include <QListView>

#include "window/file_list.h"

namespace moraven {

// The rows of the file list for a Qt view: each row shows its file's name.
class FileListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    explicit FileListModel(const FileList& list, QObject* parent = nullptr)
        : QAbstractListModel(parent), m_list(list) {}

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // Takes the list's rows again when they changed since the last time.
    bool refreshRows();

private:
    const FileList& m_list;
    std::uint64_t m_shownVersion = ~std::uint64_t{0};
};

// The list box `lb`: shows the list's rows with their selection marks and item index, and hands the user's
// selection back to the list. A mouse button released over the list, or a navigation key released without
// Ctrl (Up, Down, Page Up, Page Down, Home, End), calls `onUserRefresh` (the window's FullRefresh).
class FileListView final : public QListView {
    Q_OBJECT

public:
    FileListView(FileList& list, QWidget* parent = nullptr);

    // Redraws the rows when they changed, then the selection marks and the item index, keeping the scroll
    // position where it can.
    void syncFromList();

    std::function<void()> onUserRefresh;

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    // The view's selection and current row into the list.
    void copySelectionToList();

    FileList& m_list;
    FileListModel m_model;
    bool m_syncing = false;
};

}  // namespace moraven
