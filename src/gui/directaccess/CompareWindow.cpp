#include "gui/directaccess/CompareWindow.h"

#include <QFileDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "core/directaccess/CompareProjectors.h"
#include "gui/directaccess/InfoStrip.h"
#include "gui/directaccess/LineWork.h"
#include "gui/platform/ListTableModel.h"

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

    auto* convert = new QPushButton(QStringLiteral("Convert to text >>"), this);
    convert->setAccessibleName(convert->text());
    connect(convert, &QPushButton::clicked, this, &CompareWindow::ConvertToText);
    layout->addWidget(convert, 0, Qt::AlignRight);

    QTimer::singleShot(kFillDelayMs, this, [this] { WhenLineFree(this, [this] { Fill(); }); });
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

void CompareWindow::ConvertToText() {
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Convert to text"), QString(),
                                                      QStringLiteral("Text files (*.txt);;All files (*)"));
    if (path.isEmpty()) return;
    ConvertListToText(state_.env, model_->List(), kBlockListCellLimit, kCompareListingType, PageName(page_),
                      path.toStdString());
}

}  // namespace ombrix::gui
