#include "gui/directaccess/ForcePanel.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/directaccess/Force.h"
#include "core/directaccess/GroupWork.h"
#include "core/directaccess/Sources.h"
#include "gui/directaccess/DirectImages.h"
#include "gui/directaccess/EditSourceDialog.h"
#include "gui/directaccess/InfoStrip.h"
#include "gui/directaccess/LineWork.h"
#include "kelvanebmp.h"
#include "gui/platform/Accessible.h"

namespace ombrix::gui {
namespace {

constexpr int kRefreshDelayMs = 100;
const char* const kForceNames[3] = {"Power", "Pause", "Text"};

// In-place names are held to the width of the typed part of a source name.
class SourceNameDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto* line = qobject_cast<QLineEdit*>(editor)) line->setMaxLength(kSourceTextLimit);
        return editor;
    }
};

}  // namespace

ForcePanel::ForcePanel(ProgramState& state, InfoStrip* strip, std::function<void(uint8_t)> changed, QWidget* parent)
    : QWidget(parent), state_(state), strip_(strip), changed_(std::move(changed)) {
    setObjectName(QStringLiteral("FORCEDIALOG"));
    setAccessibleName(QStringLiteral("General"));
    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    layout->addLayout(left, 1);

    auto* force = new QGroupBox(QString::fromStdString(ForceCaption(state_.link.currentAddress)), this);
    force->setObjectName(QStringLiteral("forceFrame"));
    force->setAccessibleName(force->title());
    auto* grid = new QGridLayout(force);
    for (int which = 0; which < 3; ++which) {
        auto* button = new QPushButton(QString::fromLatin1(kForceNames[which]), force);
        button->setAccessibleName(button->text());
        const QIcon icon = DirectIcon(state_, KELVANE_IMAGE_DIRECT_FORCE(which));
        if (!icon.isNull()) {
            button->setIcon(icon);
            button->setIconSize(QSize(24, 24));
        }
        auto* line = new LiveLabel(QString::fromLatin1(kForceNames[which]) + QStringLiteral(" status"), QString(), force);
        line->setObjectName(QStringLiteral("status%1").arg(which + 1));
        line->setMinimumWidth(40);
        connect(button, &QPushButton::clicked, this, [this, which] { Toggle(which); });
        grid->addWidget(button, which, 0);
        grid->addWidget(line, which, 1);
        force_[static_cast<size_t>(which)] = button;
        status_[static_cast<size_t>(which)] = line;
    }
    left->addWidget(force);

    auto* mode = new QGroupBox(QStringLiteral("Mode"), this);
    mode->setAccessibleName(mode->title());
    auto* modeLayout = new QVBoxLayout(mode);
    view_ = new QRadioButton(QStringLiteral("View "), mode);
    compare_ = new QRadioButton(QStringLiteral("Compare"), mode);
    view_->setAccessibleName(QStringLiteral("View"));
    compare_->setAccessibleName(compare_->text());
    modeLayout->addWidget(view_);
    modeLayout->addWidget(compare_);
    (state_.direct.compareMode ? compare_ : view_)->setChecked(true);
    connect(view_, &QRadioButton::clicked, this, [this] { SetMode(0); });
    connect(compare_, &QRadioButton::clicked, this, [this] { SetMode(1); });
    left->addWidget(mode);
    left->addStretch(1);
    if (strip_) strip_->SetMode(state_.direct.compareMode);

    auto* sources = new QVBoxLayout;
    layout->addLayout(sources, 2);
    tree_ = new QTreeWidget(this);
    tree_->setObjectName(QStringLiteral("sourceTree"));
    tree_->setAccessibleName(QStringLiteral("Source Selection"));
    tree_->setHeaderHidden(true);
    tree_->setItemDelegate(new SourceNameDelegate(tree_));
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    connect(tree_, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int) {
        if (filling_) return;
        const uint32_t value = item->data(0, Qt::UserRole).toUInt();
        const int index = SourceItemIndex(value);
        // The item shows the name as stored: an edit left empty puts the old one back, and
        // one longer than the name field is shortened the way the field holds it.
        RenameSource(state_, index, item->text(0).toStdString());
        if (index < static_cast<int>(state_.options.sources.size())) {
            const QString stored = QString::fromStdString(state_.options.sources[static_cast<size_t>(index)].Name());
            if (item->text(0) != stored) {
                filling_ = true;
                item->setText(0, stored);
                filling_ = false;
            }
        }
        ShowActiveSource();
    });
    sources->addWidget(tree_, 1);
    // Two by two: in a row of four they were cut at the default window size.
    auto* buttons = new QGridLayout;
    const std::pair<const char*, void (ForcePanel::*)()> actions[] = {
        {"Add >>", &ForcePanel::Add}, {"Delete >>", &ForcePanel::Delete}, {"Rename >>", &ForcePanel::Rename},
        {"Select >>", &ForcePanel::Select}};
    int at = 0;
    for (const auto& [text, fn] : actions) {
        auto* b = new QPushButton(QString::fromLatin1(text), this);
        b->setAccessibleName(b->text());
        connect(b, &QPushButton::clicked, this, fn);
        buttons->addWidget(b, at / 2, at % 2);
        ++at;
    }
    sources->addLayout(buttons);
    FillTree();

    BuildTargetList(state_);
    QTimer::singleShot(kRefreshDelayMs, this, [this] { WhenLineFree(this, [this] { Refresh(); }); });
}

void ForcePanel::FillTree() {
    filling_ = true;
    tree_->clear();
    auto* root = new QTreeWidgetItem(tree_, {QStringLiteral("Source Selection")});
    root->setData(0, Qt::UserRole, 0u);
    const QIcon icon = DirectIcon(state_, KELVANE_IMAGE_DIRECT_SOURCE);
    if (!icon.isNull()) root->setIcon(0, icon);
    QTreeWidgetItem* last = nullptr;
    const auto& list = state_.options.sources;
    for (size_t i = 0; i < list.size(); ++i) {
        last = new QTreeWidgetItem(root, {QString::fromStdString(list[i].Name())});
        last->setData(0, Qt::UserRole, SourceItemValue(static_cast<int>(i), list[i].inputSlot));
        last->setFlags(last->flags() | Qt::ItemIsEditable);
        if (!icon.isNull()) last->setIcon(0, icon);
    }
    root->setExpanded(true);
    if (last) tree_->scrollToItem(last);
    filling_ = false;
}

void ForcePanel::Refresh() {
    RunOnLine([this] { RefreshForceStatus(state_); });
    ShowStatus();
}

void ForcePanel::ShowStatus() {
    for (int which = 0; which < 3; ++which)
        status_[static_cast<size_t>(which)]->setText(QString::fromStdString(ForceStatusText(state_.direct, which)));
    emit statusRefreshed();
}

void ForcePanel::Toggle(int which) {
    const ProgressHooks hooks = strip_ ? strip_->Hooks(changed_) : ProgressHooks{};
    RunOnLine([&] { ToggleForce(state_, which, hooks); });
    ShowStatus();
    if (strip_) strip_->ShowOutcome(state_.direct.lastRun);
}

void ForcePanel::SetMode(int compareMode) {
    state_.direct.compareMode = compareMode;
    if (strip_) strip_->SetMode(compareMode);
}

void ForcePanel::ShowActiveSource() {
    if (strip_) strip_->SetSource(QString::fromStdString(SourceFieldText(state_, kNoActiveSource)));
}

QTreeWidgetItem* ForcePanel::SelectedSource() const {
    QTreeWidgetItem* item = tree_->currentItem();
    if (!item || !item->isSelected() || SourceItemSlot(item->data(0, Qt::UserRole).toUInt()) == 0) return nullptr;
    return item;
}

void ForcePanel::Add() {
    EditSourceDialog dialog(FreeInputSlots(state_.options), this);
    if (dialog.exec() != QDialog::Accepted) return;
    if (!InsertSource(state_, dialog.Text().toStdString(), dialog.Slot())) return;
    FillTree();
}

void ForcePanel::Delete() {
    QTreeWidgetItem* item = SelectedSource();
    if (!item) return;
    const int index = SourceItemIndex(item->data(0, Qt::UserRole).toUInt());
    if (!state_.env.ui || !state_.env.ui->AskYesNo("Confirmation", "Are you sure you want to delete " +
                                                                       item->text(0).toStdString())) {
        return;
    }
    if (!DeleteSource(state_, index)) return;
    // Rebuilt, so every item carries the index its entry has now.
    FillTree();
    ShowActiveSource();
}

void ForcePanel::Rename() {
    if (QTreeWidgetItem* item = SelectedSource()) tree_->editItem(item, 0);
}

void ForcePanel::Select() {
    QTreeWidgetItem* item = SelectedSource();
    if (!item) return;
    const int index = SourceItemIndex(item->data(0, Qt::UserRole).toUInt());
    const ProgressHooks hooks = strip_ ? strip_->Hooks(changed_) : ProgressHooks{};
    // The Projector Selection's targets; with Default the current projector alone.
    RunOnLine([&] { ChooseSource(state_, index, hooks); });
    ShowActiveSource();
    if (strip_) strip_->ShowOutcome(state_.direct.lastRun);
}

}  // namespace ombrix::gui
