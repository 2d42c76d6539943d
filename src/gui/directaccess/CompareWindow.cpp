#include "gui/directaccess/CompareWindow.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "core/directaccess/CompareProjectors.h"
#include "core/directaccess/GroupWork.h"
#include "gui/directaccess/InfoStrip.h"
#include "gui/directaccess/LineWork.h"
#include "gui/platform/ListTableModel.h"
#include "gui/platform/ProjectorNews.h"

namespace ombrix::gui {
namespace {

constexpr int kFillDelayMs = 100;
constexpr int kHeadingPadding = 16;

}  // namespace

CompareWindow::CompareWindow(ProgramState& state, int page, InfoStrip* strip, QWidget* parent)
    : QWidget(parent), state_(state), page_(page), strip_(strip) {
    setObjectName(QStringLiteral("COMPAREBOX"));
    setAccessibleName(QStringLiteral("Comparison of projectors"));
    state_.direct.page = page;
    BuildTargetList(state_);

    auto* layout = new QVBoxLayout(this);
    table_ = new QTableView(this);
    table_->setAccessibleName(QStringLiteral("Comparison of projectors"));
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    model_ = new ListTableModel(this, true);
    ListModel empty;
    empty.headings = ComparisonHeadings(state_.direct.targets);
    model_->SetList(empty);
    table_->setModel(model_);
    SizeColumnsToHeadings();
    layout->addWidget(table_, 1);

    auto* buttons = new QHBoxLayout;
    // A group's members can be brought to one member's values.
    if (state_.direct.selection.kind != SelectionKind::Default && state_.direct.targets.size() > 1) {
        reference_ = new QComboBox(this);
        reference_->setAccessibleName(QStringLiteral("Reference projector"));
        for (const TargetEntry& t : state_.direct.targets) {
            reference_->addItem(QStringLiteral("Match to Projector [%1]").arg(t.address), t.address);
        }
        auto* row = new QPushButton(QStringLiteral("Match row >>"), this);
        auto* page = new QPushButton(QStringLiteral("Match page >>"), this);
        row->setAccessibleName(row->text());
        page->setAccessibleName(page->text());
        connect(row, &QPushButton::clicked, this, [this] { Match(false); });
        connect(page, &QPushButton::clicked, this, [this] { Match(true); });
        buttons->addWidget(reference_);
        buttons->addWidget(row);
        buttons->addWidget(page);
    }
    buttons->addStretch(1);
    auto* convert = new QPushButton(QStringLiteral("Convert to text >>"), this);
    convert->setAccessibleName(convert->text());
    connect(convert, &QPushButton::clicked, this, &CompareWindow::ConvertToText);
    buttons->addWidget(convert);
    layout->addLayout(buttons);

    QTimer::singleShot(kFillDelayMs, this, [this] { Refresh(); });
    // What a handset key changed on a member shows here too.
    connect(&ProjectorNews::Instance(), &ProjectorNews::keysSent, this, [this](const QList<int>& addresses) {
        for (const TargetEntry& t : state_.direct.targets) {
            if (addresses.contains(t.address)) {
                Refresh();
                return;
            }
        }
    });
}

void CompareWindow::Refresh() {
    WhenLineFree(this, [this] { Fill(); });
}

bool CompareWindow::event(QEvent* event) {
    // F5 here reads the projectors again, before the frame's F5 opens a handset.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_F5 && key->modifiers() == Qt::NoModifier) {
            event->accept();
            return true;
        }
    }
    return QWidget::event(event);
}

void CompareWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_F5 && event->modifiers() == Qt::NoModifier) {
        Refresh();
        return;
    }
    QWidget::keyPressEvent(event);
}

void CompareWindow::SizeColumnsToHeadings() {
    const QFontMetrics metrics(table_->horizontalHeader()->font());
    for (int c = 0; c < model_->columnCount(); ++c) {
        const QString heading = model_->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString();
        table_->setColumnWidth(c, metrics.horizontalAdvance(heading) + kHeadingPadding);
    }
}

void CompareWindow::Fill() {
    ListModel list;
    bool ok = false;
    const ProgressHooks hooks = strip_ ? strip_->Hooks() : ProgressHooks{};
    RunOnLine([&] { ok = FillProjectorComparison(state_, page_, &list, hooks); });
    if (!list.headings.empty()) model_->SetList(list);
    SizeColumnsToHeadings();
    emit filled(ok);
}

void CompareWindow::Match(bool wholePage) {
    if (!reference_) return;
    int index = -1;
    if (!wholePage) {
        const QModelIndex current = table_->currentIndex();
        if (!current.isValid()) {
            if (state_.env.ui) state_.env.ui->ShowBox("Match", "Choose a row of the comparison first.", BoxIcon::Information);
            return;
        }
        index = PageFirstIndex(page_) + current.row();
    }
    const auto reference = static_cast<uint8_t>(reference_->currentData().toInt());
    std::vector<MatchLine> lines;
    const ProgressHooks hooks = strip_ ? strip_->Hooks() : ProgressHooks{};
    RunOnLine([&] { lines = MatchToReference(state_, page_, index, reference, hooks); });
    std::string summary;
    for (const MatchLine& l : lines) summary += MatchLineText(l, reference) + "\n";
    if (summary.empty()) summary = "Nothing to match.\n";
    // Each member left out, and the count, so no member is passed over in silence.
    summary += GroupOutcomeText(state_.direct.lastRun);
    if (strip_) strip_->ShowOutcome(state_.direct.lastRun);
    if (state_.env.ui) {
        state_.env.ui->ShowBox("Match to Projector [" + std::to_string(reference) + "]", summary, BoxIcon::Information);
    }
    Fill();
}

void CompareWindow::ConvertToText() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Convert to text"), QString(),
                                                      QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty()) return;
    ConvertListToText(state_.env, model_->List(), kBlockListCellLimit, kCompareListingType, PageName(page_),
                      path.toStdString());
}

}  // namespace ombrix::gui
