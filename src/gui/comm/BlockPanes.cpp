#include "gui/comm/BlockPanes.h"

#include <QApplication>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>

#include "core/blocks/BlockOperations.h"
#include "core/comm/CommSession.h"
#include "core/projector/Messages.h"
#include "gui/comm/BlockTableModel.h"
#include "gui/comm/LineWork.h"
#include "gui/comm/PaneTitle.h"

namespace ombrix::gui {
namespace {

int Slot(BlockListKind kind) { return kind == BlockListKind::Projector ? 0 : 1; }

class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace

BlockPanes::BlockPanes(ProgramState& state, BlockView& view, LineWork& work, QWidget* window)
    : QObject(window), state_(state), view_(view), work_(work), window_(window) {
    for (BlockListKind kind : {BlockListKind::Projector, BlockListKind::Ram}) {
        const int i = Slot(kind);
        titles_[i] = new PaneTitle(window);
        models_[i] = new BlockTableModel(kind, this);
        lists_[i] = new BlockListView(models_[i], this, window);
    }
    dragImage_ = new QLabel(window);
    dragImage_->setObjectName(QStringLiteral("dragImage"));
    dragImage_->setAttribute(Qt::WA_TransparentForMouseEvents);
    dragImage_->hide();

    popup_ = new QMenu(window);
    popup_->setObjectName(QStringLiteral("POPUPMENUBLOCKS"));
    const std::pair<const char*, int> items[] = {
        {"&Delete", kCmdPopupDelete},
        {"&Undelete", kCmdPopupUndelete},
        {"&Select for adjustment", kCmdPopupAdjustment},
        {"Select for &reference", kCmdPopupReference},
        {"&Select All", kCmdPopupSelectAll},
        {"C&onvert to text ... ", kCmdPopupConvert},
        {"Copy to &group ...", kCmdPopupCopyToGroup},
    };
    for (const auto& [text, id] : items) popup_->addAction(QString::fromLatin1(text))->setData(id);
    Sync();
}

PaneTitle* BlockPanes::Title(BlockListKind kind) const { return titles_[Slot(kind)]; }
BlockListView* BlockPanes::List(BlockListKind kind) const { return lists_[Slot(kind)]; }

BlockListView* BlockPanes::Other(BlockListView* list) const { return list == lists_[0] ? lists_[1] : lists_[0]; }

void BlockPanes::Sync() {
    for (BlockListKind kind : {BlockListKind::Projector, BlockListKind::Ram}) {
        const int i = Slot(kind);
        const BlockListModel& core = view_.List(kind);
        models_[i]->Sync(core);
        QItemSelectionModel* selection = lists_[i]->selectionModel();
        QItemSelection rows;
        for (size_t r = 0; r < core.rows.size(); ++r) {
            if (!core.rows[r].selected) continue;
            const int row = static_cast<int>(r);
            rows.select(models_[i]->index(row, 0), models_[i]->index(row, models_[i]->columnCount() - 1));
        }
        selection->select(rows, QItemSelectionModel::ClearAndSelect);
        // A container's title row has only its name, which may use the whole row.
        for (size_t r = 0; r < core.rows.size(); ++r) {
            lists_[i]->setFirstColumnSpanned(static_cast<int>(r), QModelIndex(), core.rows[r].icon == kIconContainer);
        }
        titles_[i]->SetCaption(QString::fromStdString(BlockPaneCaption(state_, kind)));
    }
    emit changed();
}

void BlockPanes::PushSelection() {
    for (BlockListKind kind : {BlockListKind::Projector, BlockListKind::Ram}) {
        const int i = Slot(kind);
        BlockListModel& core = view_.List(kind);
        const QItemSelectionModel* selection = lists_[i]->selectionModel();
        for (size_t r = 0; r < core.rows.size(); ++r) {
            core.rows[r].selected = selection->isRowSelected(static_cast<int>(r), QModelIndex());
        }
    }
}

void BlockPanes::Act(const std::function<void()>& op) {
    PushSelection();
    {
        WaitCursor wait;
        work_.Run(op);
    }
    Sync();
}

bool BlockPanes::BeginDrag(BlockListView* from, int row) {
    PushSelection();
    if (!StartDrag(state_, view_, from->Kind(), row)) {
        Sync();
        return false;
    }
    // Select-all pending selects every row of the projector list now.
    if (view_.multiSelect) Sync();
    const std::vector<int> rows = view_.dragRows.empty() ? std::vector<int>{row} : view_.dragRows;
    const QPixmap image = from->RowsImage(rows);
    if (image.isNull()) {
        ShowWarning(state_.env, 2);
        CancelDrag(view_);
        Sync();
        return false;
    }
    dragImage_->setPixmap(image);
    dragImage_->resize(image.size());
    dragHotSpot_ = QPoint(8, qMin(8, image.height() / 2));
    return true;
}

void BlockPanes::MoveDrag(BlockListView* from, const QPoint& globalPos) {
    BlockListView* target = Other(from);
    const int row = target->RowAtGlobal(globalPos);
    view_.List(target->Kind()).dropRow = row >= 0 ? row : -1;
    target->TableModel()->SetDropRow(row >= 0 ? row : -1);
    dragImage_->move(window_->mapFromGlobal(globalPos) - dragHotSpot_);
    dragImage_->raise();
    dragImage_->show();
}

void BlockPanes::EndDrag(BlockListView* from, const QPoint& globalPos) {
    dragImage_->hide();
    BlockListView* target = Other(from);
    const int row = target->RowAtGlobal(globalPos);
    target->TableModel()->SetDropRow(-1);
    if (row == -2) {
        CancelDrag(view_);
        Sync();
        return;
    }
    Act([this, row] { DropBlocks(state_, view_, row); });
}

void BlockPanes::ListKey(BlockListView* list, int key, Qt::KeyboardModifiers modifiers) {
    const BlockListKind kind = list->Kind();
    switch (key) {
        case Qt::Key_Delete:
            PopupCommand(kind, kCmdPopupDelete);
            break;
        case Qt::Key_End:
            PopupCommand(kind, kCmdPopupUndelete);
            break;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            PopupCommand(kind, kCmdPopupAdjustment);
            break;
        case Qt::Key_PageDown:
            PopupCommand(kind, kCmdPopupReference);
            break;
        case Qt::Key_Alt:
            PopupCommand(kind, kCmdPopupSelectAll);
            break;
        case Qt::Key_A:
            if (modifiers & Qt::ControlModifier) PopupCommand(kind, kCmdPopupSelectAll);
            break;
        case Qt::Key_Control:
        case Qt::Key_Shift:
            SetMultiSelect(view_);
            break;
        default:
            break;
    }
}

void BlockPanes::PopUp(BlockListView* list, const QPoint& globalPos) {
    // Only a RAM block goes to a group.
    for (QAction* a : popup_->actions())
        if (a->data().toInt() == kCmdPopupCopyToGroup) a->setVisible(list->Kind() == BlockListKind::Ram);
    const QAction* chosen = popup_->exec(globalPos);
    if (chosen) PopupCommand(list->Kind(), chosen->data().toInt());
}

void BlockPanes::PopupCommand(BlockListKind kind, int commandId) {
    switch (commandId) {
        case kCmdPopupDelete:
            Act([this, kind] { DeleteBlocks(state_, view_, kind); });
            break;
        case kCmdPopupUndelete:
            Act([this, kind] { UndeleteBlocks(state_, view_, kind); });
            break;
        case kCmdPopupAdjustment:
            PushSelection();
            SelectForAdjustment(state_, view_, kind);
            Sync();
            break;
        case kCmdPopupReference:
            PushSelection();
            SelectForReference(state_, view_, kind);
            Sync();
            break;
        case kCmdPopupSelectAll:
            SelectAll(state_, view_, kind);
            Sync();
            List(kind)->setFocus();
            break;
        case kCmdPopupConvert:
            ConvertToText(kind);
            break;
        case kCmdPopupCopyToGroup: {
            if (kind != BlockListKind::Ram) break;
            PushSelection();
            const BlockListModel& list = view_.List(kind);
            for (size_t r = 0; r < list.rows.size(); ++r) {
                if (!list.rows[r].selected) continue;
                emit copyToGroup(static_cast<int>(r));
                break;
            }
            break;
        }
        default:
            break;
    }
}

void BlockPanes::ConvertToText(BlockListKind kind) {
    const QString path = askListingFile ? askListingFile() : QString();
    if (path.isEmpty()) return;
    ConvertBlockList(state_, view_, kind, path.toStdString());
}

}  // namespace ombrix::gui
