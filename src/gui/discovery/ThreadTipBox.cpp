#include "gui/discovery/ThreadTipBox.h"

#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>

#include "gui/platform/Accessible.h"

namespace ombrix::gui {

ThreadTipBox::ThreadTipBox(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("THREADTIPBOX"));
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setAutoFillBackground(true);

    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setVerticalSpacing(2);
    for (int i = 0; i < 3; ++i) {
        lines_[i] = new LiveLabel(QStringLiteral("Background check line %1").arg(i + 1));
        lines_[i]->setObjectName(QStringLiteral("line%1").arg(i + 1));
        // A long line is cut rather than widening the window that hosts the tip.
        lines_[i]->setMinimumWidth(1);
        layout->addWidget(lines_[i], i, 0, 1, 3);
    }
    seconds_ = new LiveLabel(QStringLiteral("Seconds remaining"));
    seconds_->setObjectName(QStringLiteral("secondsLeft"));
    seconds_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    seconds_->setMinimumWidth(seconds_->fontMetrics().horizontalAdvance(QStringLiteral("00000")));
    secondsWords_ = new LiveLabel(QStringLiteral("Background check countdown"));
    secondsWords_->setObjectName(QStringLiteral("secRemaining"));
    bar_ = new QProgressBar;
    bar_->setObjectName(QStringLiteral("countdown"));
    bar_->setAccessibleName(QStringLiteral("Time to the next check"));
    bar_->setTextVisible(false);
    bar_->setMaximumHeight(seconds_->sizeHint().height());
    bar_->hide();
    layout->addWidget(seconds_, 3, 0);
    layout->addWidget(secondsWords_, 3, 1);
    layout->addWidget(bar_, 3, 2);
    layout->setColumnStretch(2, 1);
    layout->setRowStretch(4, 1);
}

void ThreadTipBox::SetLine(int line, const QString& text) {
    if (line >= 1 && line <= 3) lines_[line - 1]->setText(text);
}

void ThreadTipBox::SetCountdown(int secondsLeft, int stepsDone, int total) {
    if (total <= 0) {
        bar_->hide();
        seconds_->clear();
        secondsWords_->clear();
        return;
    }
    bar_->setRange(0, total);
    bar_->setValue(stepsDone);
    bar_->show();
    seconds_->setText(QString::number(secondsLeft));
    secondsWords_->setText(QStringLiteral("sec remaining"));
}

}  // namespace ombrix::gui
