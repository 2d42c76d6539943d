#pragma once
// The tree of connected projectors. A view node is acted on only when the user clicks
// it; moving through the tree with the keys, or the tree moving its own selection,
// changes nothing. Group and projector labels can be edited (40 characters).
#include <QTreeView>
#include <cstdint>

namespace ombrix::gui {

class ProjectorTreeModel;

class ProjectorTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit ProjectorTreeView(ProjectorTreeModel* model, QWidget* parent = nullptr);

signals:
    // A node clicked with the mouse; data is its kind and address.
    void nodeClicked(uint32_t data);

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
};

}  // namespace ombrix::gui
