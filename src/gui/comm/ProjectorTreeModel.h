#pragma once
// The projector tree for a view: groups, their projectors, and each projector's three
// view nodes, as the core node model last held them (a copy taken by Sync).
#include <QAbstractItemModel>
#include <QIcon>
#include <vector>

#include "core/blocks/ProjectorTree.h"

namespace ombrix::gui {

class ProjectorTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    // The node's item data (kind and address).
    static constexpr int kNodeDataRole = Qt::UserRole + 1;

    explicit ProjectorTreeModel(QObject* parent = nullptr);

    void Sync(const std::vector<TreeNode>& roots);
    // The image list, by a node's image index; a missing picture leaves the node without.
    void SetImages(std::vector<QIcon> images) { images_ = std::move(images); }
    // Index path of a node, as FindNode gives it.
    QModelIndex IndexOfPath(const std::vector<int>& path) const;
    std::vector<int> PathOf(const QModelIndex& index) const;
    const TreeNode* Node(const QModelIndex& index) const;

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // Dragging projector nodes of the main group onto a user group's node.
    static constexpr const char* kProjectorsMime = "application/x-ombrix-projectors";
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

signals:
    // The user ended a label edit with a text; the owner decides what it changes.
    void labelEdited(const QModelIndex& index, const QString& text);
    // Projector nodes dropped on the node of tree group treeGroup.
    void projectorsDropped(int treeGroup, const std::vector<uint8_t>& addresses);

private:
    std::vector<TreeNode> roots_;
    std::vector<QIcon> images_;
};

}  // namespace ombrix::gui
