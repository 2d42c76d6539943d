#include "gui/directaccess/PageWindow.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>
#include <utility>

#include "core/directaccess/DirectAccess.h"
#include "gui/directaccess/DirectImages.h"
#include "gui/directaccess/InfoStrip.h"
#include "gui/directaccess/LineWork.h"
#include "kelvanebmp.h"

namespace ombrix::gui {
namespace {

constexpr int kInitialiseDelayMs = 10;
const char* const kActions[4] = {"-step", "-1", "+1", "+step"};

QLineEdit* Field(const QString& accessibleName, int width) {
    auto* f = new QLineEdit;
    f->setReadOnly(true);
    f->setAlignment(Qt::AlignCenter);
    f->setFixedWidth(width);
    f->setAccessibleName(accessibleName);
    return f;
}

}  // namespace

PageWindow::PageWindow(ProgramState& state, int page, InfoStrip* strip, QWidget* parent)
    : QWidget(parent), state_(state), page_(page), strip_(strip) {
    setObjectName(QStringLiteral("CTRLDIALOGBOX"));
    setAccessibleName(QString::fromLatin1(PageName(page)));
    DirectAccessState& da = state_.direct;
    da.page = page;
    da.currentMin = 0;
    da.currentMax = 127;
    da.step = 1;
    BuildTargetList(state_);

    auto* outer = new QVBoxLayout(this);
    frame_ = new QGroupBox(QString::fromStdString(PageCaption(page, state_.link.currentAddress)), this);
    frame_->setAccessibleName(frame_->title());
    outer->addWidget(frame_);
    auto* grid = new QGridLayout(frame_);
    grid->setHorizontalSpacing(4);
    // The three numbers of each row say what they are.
    for (const auto& [column, heading] : {std::pair{1, "Min"}, std::pair{6, "Max"}, std::pair{7, "Value"}}) {
        auto* label = new QLabel(QString::fromLatin1(heading));
        label->setAlignment(Qt::AlignCenter);
        grid->addWidget(label, 0, column);
    }
    for (int slot = 1; slot <= SlotCount(page); ++slot) {
        const int index = SlotParameter(page, slot);
        if (index < 0) continue;
        const QString name = QString::fromLatin1(kDirectAccessParameters[static_cast<size_t>(index)].name);
        Row& row = rows_[static_cast<size_t>(slot - 1)];
        const int r = slot;
        auto* label = new QLabel(name);
        grid->addWidget(label, r, 0);
        row.min = Field(name + QStringLiteral(" minimum"), 44);
        grid->addWidget(row.min, r, 1);
        for (int b = 0; b < 4; ++b) {
            auto* button = new QToolButton;
            const QString action = QString::fromLatin1(kActions[b]);
            button->setAccessibleName(name + QLatin1Char(' ') + action);
            button->setToolTip(button->accessibleName());
            button->setText(action);
            const QIcon normal = DirectIcon(state_, KELVANE_IMAGE_DIRECT_BUTTON(page, slot, b, 0));
            const QIcon pressed = DirectIcon(state_, KELVANE_IMAGE_DIRECT_BUTTON(page, slot, b, 1));
            if (!normal.isNull()) {
                button->setIcon(normal);
                button->setIconSize(QSize(32, 24));
                button->setToolButtonStyle(Qt::ToolButtonIconOnly);
                button->setAutoRaise(true);
                connect(button, &QToolButton::pressed, button, [button, pressed] {
                    if (!pressed.isNull()) button->setIcon(pressed);
                });
                connect(button, &QToolButton::released, button, [button, normal] { button->setIcon(normal); });
            }
            connect(button, &QToolButton::clicked, this, [this, slot, b] { Press(slot, b); });
            row.buttons[static_cast<size_t>(b)] = button;
            grid->addWidget(button, r, 2 + b);
        }
        row.max = Field(name + QStringLiteral(" maximum"), 44);
        grid->addWidget(row.max, r, 6);
        row.value = Field(name, 56);
        grid->addWidget(row.value, r, 7);
    }
    grid->setColumnStretch(8, 1);

    auto* stepLine = new QHBoxLayout;
    auto* stepLabel = new QLabel(QStringLiteral("Step  :"));
    stepList_ = new QComboBox;
    stepList_->setAccessibleName(QStringLiteral("Step"));
    for (int i = 1; i <= kMaxStep; ++i) stepList_->addItem(QString::number(i));
    stepList_->setCurrentIndex(0);
    stepLabel->setBuddy(stepList_);
    connect(stepList_, &QComboBox::currentIndexChanged, this, [this](int position) { SelectStep(state_, position); });
    stepLine->addWidget(stepLabel);
    stepLine->addWidget(stepList_);
    stepLine->addStretch(1);
    outer->addLayout(stepLine);
    outer->addStretch(1);

    QTimer::singleShot(kInitialiseDelayMs, this, [this] { WhenLineFree(this, [this] { Initialise(); }); });
}

QToolButton* PageWindow::Button(int slot, int button) const {
    if (slot < 1 || slot > kMaxSlots || button < 0 || button > 3) return nullptr;
    return rows_[static_cast<size_t>(slot - 1)].buttons[static_cast<size_t>(button)];
}
QLineEdit* PageWindow::ValueField(int slot) const {
    return slot >= 1 && slot <= kMaxSlots ? rows_[static_cast<size_t>(slot - 1)].value : nullptr;
}
QLineEdit* PageWindow::MinField(int slot) const {
    return slot >= 1 && slot <= kMaxSlots ? rows_[static_cast<size_t>(slot - 1)].min : nullptr;
}
QLineEdit* PageWindow::MaxField(int slot) const {
    return slot >= 1 && slot <= kMaxSlots ? rows_[static_cast<size_t>(slot - 1)].max : nullptr;
}

void PageWindow::Initialise() {
    std::vector<SlotFill> fills;
    const ProgressHooks hooks = strip_ ? strip_->Hooks() : ProgressHooks{};
    RunOnLine([&] { fills = InitialisePage(state_, hooks); });
    for (const SlotFill& f : fills) {
        const Row& row = rows_[static_cast<size_t>(f.slot - 1)];
        if (!row.value) continue;
        row.value->setText(QString::number(f.value));
        row.min->setText(QString::number(f.min));
        row.max->setText(QString::number(f.max));
    }
    emit initialised();
}

void PageWindow::Press(int slot, int button) {
    const int step = state_.direct.step;
    const int delta = button == 0 ? -step : button == 1 ? -1 : button == 2 ? 1 : step;
    bool adjusted = false;
    int shown = 0;
    const ProgressHooks hooks = strip_ ? strip_->Hooks() : ProgressHooks{};
    RunOnLine([&] { adjusted = AdjustSlot(state_, slot, delta, &shown, hooks); });
    if (adjusted && ValueField(slot)) ValueField(slot)->setText(QString::number(shown));
    if (adjusted && strip_) strip_->ShowOutcome(state_.direct.lastRun);
}

}  // namespace ombrix::gui
