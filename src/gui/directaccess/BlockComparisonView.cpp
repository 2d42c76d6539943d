#include "gui/directaccess/BlockComparisonView.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QTimer>
#include <QTreeView>

#include "core/directaccess/CompareBlocks.h"
#include "gui/platform/ListTableModel.h"
#include "gui/platform/Accessible.h"

namespace ombrix::gui {

namespace {
constexpr int kFillDelayMs = 100;
constexpr int kMargin = 5;
}  // namespace

BlockComparisonView::BlockComparisonView(ProgramState& state, const SettingsPane& pane,
                                         std::function<bool()> paneBusy, std::function<void()> onBack,
                                         QWidget* parent)
    : QWidget(parent), state_(state), pane_(pane), paneBusy_(std::move(paneBusy)) {
    setAccessibleName(QStringLiteral("Comparison of two blocks"));
    list_.headings = BlockComparisonHeadings();
    model_ = new ListTableModel(this, true);
    model_->SetList(list_);
    view_ = new QTreeView(this);
    view_->setRootIsDecorated(false);
    view_->setAllColumnsShowFocus(true);
    view_->setModel(model_);
    view_->setAccessibleName(QStringLiteral("Comparison of two blocks"));
    view_->header()->setDefaultAlignment(Qt::AlignCenter);
    view_->header()->setStretchLastSection(false);
    progress_ = new QProgressBar(this);
    progress_->setTextVisible(false);
    progress_->setAccessibleName(QStringLiteral("Progress"));
    progressText_ = new LiveLabel(QStringLiteral("Progress text"), QString(), this);
    back_ = new QPushButton(QStringLiteral("<< Back"), this);
    back_->setAccessibleName(back_->text());
    convert_ = new QPushButton(QStringLiteral("Convert to text >>"), this);
    convert_->setAccessibleName(convert_->text());
    connect(back_, &QPushButton::clicked, this, [onBack = std::move(onBack)] { onBack(); });
    connect(convert_, &QPushButton::clicked, this, [this] { ConvertToText(); });
    QTimer::singleShot(kFillDelayMs, this, [this] { FillWhenIdle(); });
}

// The view goes before the list it shows.
BlockComparisonView::~BlockComparisonView() { delete view_; }

void BlockComparisonView::FillWhenIdle() {
    if (filled_) return;
    if (paneBusy_ && paneBusy_()) {
        QTimer::singleShot(kFillDelayMs, this, [this] { FillWhenIdle(); });
        return;
    }
    Fill();
}

bool BlockComparisonView::Fill() {
    filled_ = true;
    progress_->setRange(0, static_cast<int>(pane_.page.size()));
    progress_->setValue(0);
    progressText_->setText(QString::fromLatin1(kComparisonProgressText));
    const bool ok = FillBlockComparison(state_, pane_, &list_, [this](int done, int) { progress_->setValue(done); });
    model_->SetList(list_);
    // Each column first takes a seventh of the width, then what its heading and cells need.
    const int columns = static_cast<int>(list_.headings.size());
    for (int c = 0; c < columns; ++c) view_->setColumnWidth(c, view_->viewport()->width() / columns);
    view_->header()->resizeSections(QHeaderView::ResizeToContents);
    // Room left over is shared out, so the seven columns spread over the list.
    int used = 0;
    for (int c = 0; c < columns; ++c) used += view_->columnWidth(c);
    const int spare = columns > 0 ? (view_->viewport()->width() - used) / columns : 0;
    if (spare > 0) {
        for (int c = 0; c < columns; ++c) view_->setColumnWidth(c, view_->columnWidth(c) + spare);
    }
    progress_->reset();
    progressText_->clear();
    return ok;
}

void BlockComparisonView::ConvertToText() {
    QFileDialog dialog(this, QStringLiteral("Converting Listview To Text"), QString(),
                       QStringLiteral("Text Files (*.TXT *.txt)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("txt"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    ConvertBlockComparison(state_.env, list_, dialog.selectedFiles().first().toStdString());
}

void BlockComparisonView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    const int w = width(), h = height();
    const int buttonH = back_->sizeHint().height();
    const int bottom = h - buttonH;
    view_->setGeometry(0, 0, w, bottom - kMargin);
    // Progress on the left of the button row, the buttons on its right.
    const int convertW = convert_->sizeHint().width(), backW = back_->sizeHint().width();
    const int progressW = std::max(0, (w - convertW - backW - 3 * kMargin) / 2);
    const int progressH = progress_->sizeHint().height();
    progress_->setGeometry(0, bottom + (buttonH - progressH) / 2, progressW, progressH);
    progressText_->setGeometry(progressW + kMargin, bottom, progressW, buttonH);
    back_->setGeometry(w - convertW - backW - kMargin, bottom, backW, buttonH);
    convert_->setGeometry(w - convertW, bottom, convertW, buttonH);
}

}  // namespace ombrix::gui
