#include "gui/platform/ProgressBox.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/platform/Accessible.h"

namespace ombrix::gui {

bool IsCancelKey(const QKeyEvent& event) {
    // X11 gives Ctrl+Pause the keysym Break, which Qt leaves without a key code; other
    // systems report Cancel or Pause.
    constexpr quint32 kX11Break = 0xFF6B;
    return event.modifiers().testFlag(Qt::ControlModifier) &&
           (event.key() == Qt::Key_Cancel || event.key() == Qt::Key_Pause || event.nativeVirtualKey() == kX11Break);
}

int WidthForTitle(const QString& title) {
    QFont titleFont = QApplication::font("QMdiSubWindowTitleBar");
    titleFont.setBold(true);
    return QFontMetrics(titleFont).horizontalAdvance(title) * 5 / 4 + 3 * 32;
}

ProgressBox::ProgressBox(const QString& title, const QString& note, int range, std::function<void()> onCancel,
                         QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), onCancel_(std::move(onCancel)) {
    setObjectName(QStringLiteral("PROGRESSBOX"));
    setWindowTitle(title);

    bar_ = new QProgressBar;
    bar_->setObjectName(QStringLiteral("progress"));
    bar_->setAccessibleName(title);
    bar_->setRange(0, range);
    bar_->setValue(0);
    bar_->setTextVisible(false);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(bar_);
    for (int i = 0; i < 2; ++i) {
        lines_[i] = new LiveLabel(i == 0 ? QStringLiteral("Progress") : QStringLiteral("Progress detail"));
        lines_[i]->setObjectName(QStringLiteral("line%1").arg(i + 1));
        layout->addWidget(lines_[i]);
    }
    auto* noteLabel = new QLabel(note);
    noteLabel->setObjectName(QStringLiteral("note"));
    layout->addWidget(noteLabel);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel);
    QPushButton* cancel = buttons->button(QDialogButtonBox::Cancel);
    // Cancel takes a click or Ctrl+Break only: the Enter or Space of someone typing
    // elsewhere as the box comes up must not throw a long search away.
    cancel->setFocusPolicy(Qt::NoFocus);
    cancel->setAutoDefault(false);
    connect(cancel, &QPushButton::clicked, this, [this] {
        if (onCancel_) onCancel_();
    });
    layout->addWidget(buttons);

    // Wide enough for the longest line, so the box does not jump as the lines change, and
    // for its title beside the window manager's buttons, which a window manager would
    // otherwise cut short.
    const int titleWidth = WidthForTitle(title);
    lines_[1]->setMinimumWidth(std::max(
        lines_[1]->fontMetrics().horizontalAdvance(QStringLiteral("Projector with address 255 not found ...")) + 24,
        titleWidth));
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void ProgressBox::SetLine(int line, const QString& text) {
    if (line >= 1 && line <= 2) lines_[line - 1]->setText(text);
}

void ProgressBox::Step() {
    if (bar_->value() < bar_->maximum()) bar_->setValue(bar_->value() + 1);
}

void ProgressBox::keyPressEvent(QKeyEvent* event) {
    if (IsCancelKey(*event)) {
        if (onCancel_) onCancel_();
        return;
    }
    // A dialog's Enter presses a button.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return;
    QDialog::keyPressEvent(event);
}

}  // namespace ombrix::gui
