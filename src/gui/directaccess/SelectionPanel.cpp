#include "gui/directaccess/SelectionPanel.h"

#include <QLabel>
#include <QListWidget>
#include <QVBoxLayout>

#include "core/blocks/GroupTree.h"
#include "gui/directaccess/InfoStrip.h"

namespace ombrix::gui {

SelectionPanel::SelectionPanel(ProgramState& state, InfoStrip* strip, QWidget* parent)
    : QWidget(parent), state_(state), strip_(strip) {
    setObjectName(QStringLiteral("SELECTIONPANEL"));
    setAccessibleName(QStringLiteral("Projector Selection"));
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel(QStringLiteral("Projector Selection"), this);
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("selection"));
    list_->setAccessibleName(QStringLiteral("Projector Selection"));
    label->setBuddy(list_);
    layout->addWidget(label);
    layout->addWidget(list_, 1);
    const std::vector<ProjectorSelection> choices = SelectionChoices(state_);
    for (size_t i = 0; i < choices.size(); ++i) {
        list_->addItem(QString::fromStdString(SelectionText(choices[i])));
        const ProjectorSelection& now = state_.direct.selection;
        if (choices[i].kind == now.kind && choices[i].group == now.group) list_->setCurrentRow(static_cast<int>(i));
    }
    if (list_->currentRow() < 0) list_->setCurrentRow(0);
    connect(list_, &QListWidget::currentRowChanged, this, &SelectionPanel::Choose);
}

void SelectionPanel::Choose(int row) {
    const std::vector<ProjectorSelection> choices = SelectionChoices(state_);
    if (row < 0 || row >= static_cast<int>(choices.size())) return;
    state_.direct.selection = choices[static_cast<size_t>(row)];
    if (strip_) strip_->SetSelection(QString::fromStdString(SelectionStripText(state_)));
}

}  // namespace ombrix::gui
