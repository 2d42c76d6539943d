#pragma once
// The block overview of the communication window: the projector's block list and the
// RAM list with their pane titles, the drags between them, their keys and their pop-up
// menu. The rules are the core's; this forwards what the user does and shows the result.
#include <QObject>
#include <QPointer>
#include <functional>

#include "core/app/Program.h"
#include "core/blocks/BlockList.h"
#include "gui/comm/BlockListView.h"

class QLabel;
class QMenu;

namespace ombrix::gui {

class BlockTableModel;
class LineWork;
class PaneTitle;

class BlockPanes : public QObject, public BlockListHost {
    Q_OBJECT
public:
    BlockPanes(ProgramState& state, BlockView& view, LineWork& work, QWidget* window);

    PaneTitle* Title(BlockListKind kind) const;
    BlockListView* List(BlockListKind kind) const;
    // Both lists, their selections and both captions as the core holds them.
    void Sync();
    // The selections the user made, into the core lists.
    void PushSelection();
    // A block list to a text file the user chooses.
    void ConvertToText(BlockListKind kind);
    // A command of the pop-up menu on a list.
    void PopupCommand(BlockListKind kind, int commandId);
    QMenu* PopupMenu() const { return popup_; }

    // Where the text listing goes; empty: nowhere.
    std::function<QString()> askListingFile;

    bool BeginDrag(BlockListView* from, int row) override;
    void MoveDrag(BlockListView* from, const QPoint& globalPos) override;
    void EndDrag(BlockListView* from, const QPoint& globalPos) override;
    void ListKey(BlockListView* list, int key, Qt::KeyboardModifiers modifiers) override;
    void PopUp(BlockListView* list, const QPoint& globalPos) override;

signals:
    // Blocks or selections changed: the command states may follow.
    void changed();
    // "Copy to group ..." on a row of the RAM list.
    void copyToGroup(int ramRow);

private:
    BlockListView* Other(BlockListView* list) const;
    // Work on the line with the selections pushed first and the lists shown after.
    void Act(const std::function<void()>& op);

    ProgramState& state_;
    BlockView& view_;
    LineWork& work_;
    QWidget* window_;
    BlockTableModel* models_[2] = {};
    BlockListView* lists_[2] = {};
    PaneTitle* titles_[2] = {};
    QLabel* dragImage_ = nullptr;
    QPoint dragHotSpot_;
    QMenu* popup_ = nullptr;
};

}  // namespace ombrix::gui
