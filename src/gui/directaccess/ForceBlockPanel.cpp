#include "gui/directaccess/ForceBlockPanel.h"

#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/directaccess/Force.h"
#include "gui/directaccess/InfoStrip.h"
#include "gui/directaccess/LineWork.h"
#include "gui/platform/Accessible.h"

namespace ombrix::gui {
namespace {

QListWidget* List(const QString& title, QVBoxLayout* column, QWidget* parent) {
    auto* label = new QLabel(title, parent);
    auto* list = new QListWidget(parent);
    list->setAccessibleName(title);
    label->setBuddy(list);
    column->addWidget(label);
    column->addWidget(list, 1);
    return list;
}

}  // namespace

ForceBlockPanel::ForceBlockPanel(ProgramState& state, InfoStrip* strip, QWidget* parent)
    : QWidget(parent), state_(state), strip_(strip) {
    setObjectName(QStringLiteral("BRONSWITCHING"));
    setAccessibleName(QStringLiteral("Force Block"));
    auto* layout = new QHBoxLayout(this);
    auto* typeColumn = new QVBoxLayout;
    auto* numberColumn = new QVBoxLayout;
    layout->addLayout(typeColumn, 1);
    layout->addLayout(numberColumn, 1);
    types_ = List(QStringLiteral("Source Type"), typeColumn, this);
    for (int i = 0; i < kSourceTypeCount; ++i) types_->addItem(QString::fromStdString(SourceTypeText(i)));
    numbers_ = List(QStringLiteral("Source Number"), numberColumn, this);
    for (int n = 1; n <= kSourceNumberCount; ++n) numbers_->addItem(QString::number(n));
    types_->setCurrentRow(state_.direct.sourceTypeIndex);
    numbers_->setCurrentRow(state_.direct.sourceNumberIndex);

    auto* right = new QVBoxLayout;
    layout->addLayout(right, 1);
    auto* selection = new QGroupBox(QStringLiteral("Selection"), this);
    selection->setAccessibleName(selection->title());
    auto* form = new QFormLayout(selection);
    typeText_ = new LiveLabel(QStringLiteral("Source Type"), QString(), selection);
    numberText_ = new LiveLabel(QStringLiteral("Source Number"), QString(), selection);
    form->addRow(QStringLiteral("Source Type :"), typeText_);
    form->addRow(QStringLiteral("Source Number :"), numberText_);
    right->addWidget(selection);
    auto* send = new QPushButton(QStringLiteral("Send"), this);
    send->setAccessibleName(send->text());
    right->addWidget(send);
    right->addStretch(1);

    connect(types_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) state_.direct.sourceTypeIndex = row;
        ShowSelection();
    });
    connect(numbers_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) state_.direct.sourceNumberIndex = row;
        ShowSelection();
    });
    connect(send, &QPushButton::clicked, this, &ForceBlockPanel::Send);
    ShowSelection();
}

void ForceBlockPanel::ShowSelection() {
    typeText_->setText(QString::fromStdString(SourceTypeText(state_.direct.sourceTypeIndex)));
    numberText_->setText(QString::number(state_.direct.sourceNumberIndex + 1));
}

void ForceBlockPanel::Send() {
    RunOnLine([this] { SendForceBlock(state_); });
    if (strip_) strip_->ShowOutcome(state_.direct.lastRun);
}

}  // namespace ombrix::gui
