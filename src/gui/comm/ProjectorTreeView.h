#pragma once
// The tree of connected projectors. A view node is acted on only when the user clicks
// it; moving through the tree with the keys, or the tree moving its own selection,
// changes nothing. Group and projector labels can be edited (40 characters).
#include <QTreeView>
#include <cstdint>
#include <utility>
#include <vector>

namespace ombrix::gui {

class ProjectorTreeModel;

class ProjectorTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit ProjectorTreeView(ProjectorTreeModel* model, QWidget* parent = nullptr);

    // The pop-up menus' group actions (POPUPMAINGROUP, POPUPMENUGROUP, a member's).
    enum GroupAction { kNewGroup, kDeleteGroup, kRenameGroup, kAddProjector, kRemoveFromGroup, kBackupGroup };
    // The menu a node's pop-up shows: (action, text).
    std::vector<std::pair<GroupAction, QString>> MenuFor(const QModelIndex& index) const;

signals:
    // A node clicked with the mouse; data is its kind and address.
    void nodeClicked(uint32_t data);
    // A group action chosen on a node (its pop-up, or the Delete key on a member).
    void groupAction(int action, const QModelIndex& index);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace ombrix::gui
