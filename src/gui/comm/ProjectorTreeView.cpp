#include "gui/comm/ProjectorTreeView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QStyledItemDelegate>

#include "core/blocks/ProjectorTree.h"
#include "gui/comm/ProjectorTreeModel.h"

namespace ombrix::gui {
namespace {

class LabelDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        // A group's name field holds 31 characters, a projector's label 40.
        const bool group = NodeDataAddress(index.data(ProjectorTreeModel::kNodeDataRole).toUInt()) == 0;
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            line->setMaxLength(static_cast<int>(group ? kGroupNameMax : kMemberLabelSize));
        return editor;
    }
};

}  // namespace

ProjectorTreeView::ProjectorTreeView(ProjectorTreeModel* model, QWidget* parent) : QTreeView(parent) {
    setObjectName(QStringLiteral("TITLE"));
    setWindowTitle(QStringLiteral("Connected Projectors"));
    setAccessibleName(QStringLiteral("Connected Projectors"));
    setModel(model);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setItemDelegate(new LabelDelegate(this));
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setDragEnabled(true);
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    setDefaultDropAction(Qt::CopyAction);
    connect(this, &QTreeView::clicked, this, [this, model](const QModelIndex& index) {
        if (const TreeNode* node = model->Node(index)) emit nodeClicked(node->data);
    });
}

std::vector<std::pair<ProjectorTreeView::GroupAction, QString>> ProjectorTreeView::MenuFor(
    const QModelIndex& index) const {
    const auto* treeModel = static_cast<const ProjectorTreeModel*>(model());
    const TreeNode* node = treeModel->Node(index);
    if (!node || NodeDataKind(node->data) != kNodeGroupOrProjector) return {};
    const std::vector<int> path = treeModel->PathOf(index);
    if (NodeDataAddress(node->data) != 0) return {{kRemoveFromGroup, QStringLiteral("&Remove from group")}};
    if (path.size() == 1 && path[0] == 0) {
        return {{kNewGroup, QStringLiteral("&New group")},
                {kBackupGroup, QStringLiteral("&Back up group to RAM container")}};
    }
    return {{kAddProjector, QStringLiteral("&Add projector ...")},
            {kNewGroup, QStringLiteral("&New group")},
            {kDeleteGroup, QStringLiteral("&Delete group")},
            {kRenameGroup, QStringLiteral("&Rename group")},
            {kBackupGroup, QStringLiteral("&Back up group to RAM container")}};
}

void ProjectorTreeView::contextMenuEvent(QContextMenuEvent* event) {
    const QModelIndex index = indexAt(event->pos());
    const auto items = MenuFor(index);
    if (items.empty()) return;
    setCurrentIndex(index);
    QMenu menu(this);
    for (const auto& [action, text] : items) {
        QAction* a = menu.addAction(text);
        connect(a, &QAction::triggered, this, [this, action = action, index] { emit groupAction(action, index); });
    }
    menu.exec(event->globalPos());
}

void ProjectorTreeView::keyPressEvent(QKeyEvent* event) {
    const auto* treeModel = static_cast<const ProjectorTreeModel*>(model());
    const QModelIndex index = currentIndex();
    const TreeNode* node = treeModel->Node(index);
    if (event->key() == Qt::Key_Delete && state() != QAbstractItemView::EditingState && node &&
        NodeDataKind(node->data) == kNodeGroupOrProjector && NodeDataAddress(node->data) != 0) {
        emit groupAction(kRemoveFromGroup, index);
        return;
    }
    QTreeView::keyPressEvent(event);
}

}  // namespace ombrix::gui
