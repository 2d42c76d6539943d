#include "gui/comm/ProjectorTreeView.h"

#include <QContextMenuEvent>
#include <QHeaderView>
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
        if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setMaxLength(static_cast<int>(kMemberLabelSize));
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
    connect(this, &QTreeView::clicked, this, [this, model](const QModelIndex& index) {
        if (const TreeNode* node = model->Node(index)) emit nodeClicked(node->data);
    });
}

void ProjectorTreeView::contextMenuEvent(QContextMenuEvent* event) {
    const auto* treeModel = static_cast<const ProjectorTreeModel*>(model());
    const TreeNode* node = treeModel->Node(indexAt(event->pos()));
    if (!node || NodeDataKind(node->data) != kNodeGroupOrProjector) return;
    // The group commands are present but do nothing in this program.
    QMenu menu(this);
    const bool group = NodeDataAddress(node->data) == 0;
    const QStringList items = group ? QStringList{QStringLiteral("&New Group"), QStringLiteral("&Delete Group"),
                                                  QStringLiteral("&Rename Group")}
                                    : QStringList{QStringLiteral("&Add to Group"), QStringLiteral("&Remove from Group")};
    for (const QString& text : items) menu.addAction(text)->setEnabled(false);
    menu.exec(event->globalPos());
}

}  // namespace ombrix::gui
