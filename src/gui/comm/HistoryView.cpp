#include "gui/comm/HistoryView.h"

#include <QApplication>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <chrono>

#include "gui/comm/LineWork.h"

namespace ombrix::gui {
namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

// A button whose accessible name is its text without the mnemonic.
QPushButton* Button(const QString& text, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setAccessibleName(QString(text).remove(QLatin1Char('&')));
    return b;
}

}  // namespace

HistoryView::HistoryView(ProgramState& state, uint8_t address, LineWork& work, QWidget* parent)
    : QWidget(parent), pane_(state, address), work_(work) {
    setObjectName(QStringLiteral("HISTORYVIEW"));
    const QString heading = QStringLiteral("History of projector %1").arg(address);
    setAccessibleName(heading);
    title_ = new QLabel(heading, this);
    title_->setAccessibleName(heading);

    list_ = new QTreeWidget(this);
    list_->setAccessibleName(QStringLiteral("Snapshots"));
    list_->setHeaderLabels({QStringLiteral("Taken"), QStringLiteral("Reason"), QStringLiteral("Note"),
                            QStringLiteral("Complete")});
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    auto* noteLabel = new QLabel(QStringLiteral("&Note:"), this);
    note_ = new QLineEdit(this);
    note_->setAccessibleName(QStringLiteral("Note"));
    note_->setMaxLength(static_cast<int>(kMaxSnapshotNote));
    noteLabel->setBuddy(note_);
    take_ = Button(QStringLiteral("&Take snapshot"), this);
    compareNow_ = Button(QStringLiteral("Compare with &now"), this);
    compareTwo_ = Button(QStringLiteral("Compare t&wo"), this);
    drift_ = Button(QStringLiteral("&Drift"), this);
    auto* whatLabel = new QLabel(QStringLiteral("Restore &what:"), this);
    what_ = new QComboBox(this);
    what_->setAccessibleName(QStringLiteral("Restore what"));
    whatLabel->setBuddy(what_);
    restore_ = Button(QStringLiteral("&Restore"), this);
    result_ = new QPlainTextEdit(this);
    result_->setReadOnly(true);
    result_->setAccessibleName(QStringLiteral("Result"));
    auto* resultLabel = new QLabel(QStringLiteral("Res&ult:"), this);
    resultLabel->setBuddy(result_);

    auto* grid = new QGridLayout;
    grid->addWidget(noteLabel, 0, 0);
    grid->addWidget(note_, 0, 1);
    grid->addWidget(take_, 0, 2);
    auto* compare = new QHBoxLayout;
    compare->addWidget(compareNow_);
    compare->addWidget(compareTwo_);
    compare->addWidget(drift_);
    compare->addStretch();
    grid->addLayout(compare, 1, 0, 1, 3);
    grid->addWidget(whatLabel, 2, 0);
    grid->addWidget(what_, 2, 1);
    grid->addWidget(restore_, 2, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title_);
    layout->addWidget(list_, 2);
    layout->addLayout(grid);
    layout->addWidget(resultLabel);
    layout->addWidget(result_, 1);
    // Tab runs as the eye reads: the list, the note, then the buttons row by row.
    setTabOrder(list_, note_);
    setTabOrder(note_, take_);
    setTabOrder(take_, compareNow_);
    setTabOrder(compareNow_, compareTwo_);
    setTabOrder(compareTwo_, drift_);
    setTabOrder(drift_, what_);
    setTabOrder(what_, restore_);
    setTabOrder(restore_, result_);

    connect(list_, &QTreeWidget::itemSelectionChanged, this, &HistoryView::SelectionChanged);
    connect(take_, &QPushButton::clicked, this, &HistoryView::Take);
    connect(note_, &QLineEdit::returnPressed, this, &HistoryView::Take);
    connect(compareNow_, &QPushButton::clicked, this, &HistoryView::CompareWithNow);
    connect(compareTwo_, &QPushButton::clicked, this, &HistoryView::CompareTwo);
    connect(drift_, &QPushButton::clicked, this, &HistoryView::Drift);
    connect(restore_, &QPushButton::clicked, this, &HistoryView::Restore);
    Reload();
}

void HistoryView::Reload() {
    const HistoryOutcome outcome = pane_.Reload();
    if (!outcome.lines.empty()) result_->appendPlainText(Q(outcome.lines.front()));
    list_->clear();
    for (const HistoryRowTexts& r : pane_.Rows()) {
        auto* item = new QTreeWidgetItem(list_, {Q(r.when), Q(r.reason), Q(r.note), Q(r.complete)});
        item->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(r.id));
        item->setToolTip(0, QStringLiteral("snapshot %1").arg(r.id));
    }
    if (list_->topLevelItemCount() > 0) list_->setCurrentItem(list_->topLevelItem(0));
    SelectionChanged();
}

std::vector<int64_t> HistoryView::Selected() const {
    std::vector<int64_t> ids;
    for (QTreeWidgetItem* item : list_->selectedItems()) ids.push_back(item->data(0, Qt::UserRole).toLongLong());
    std::sort(ids.begin(), ids.end());
    return ids;
}

void HistoryView::SelectionChanged() {
    const std::vector<int64_t> ids = Selected();
    compareNow_->setEnabled(ids.size() == 1);
    compareTwo_->setEnabled(ids.size() == 2);
    restore_->setEnabled(ids.size() == 1);
    what_->clear();
    what_->setEnabled(ids.size() == 1);
    if (ids.size() != 1) return;
    what_->addItem(QStringLiteral("Whole snapshot"));
    for (const HistoryBlockChoice& b : pane_.Blocks(ids.front())) {
        const QByteArray wire(reinterpret_cast<const char*>(b.wire.data()), 4);
        what_->addItem(Q(b.text), wire);
    }
}

void HistoryView::Show(const HistoryOutcome& outcome, bool reload) {
    QStringList lines;
    for (const std::string& l : outcome.lines) lines << Q(l);
    result_->setPlainText(lines.join(QLatin1Char('\n')));
    if (reload) {
        const QString text = result_->toPlainText();
        Reload();
        result_->setPlainText(text);
    }
}

void HistoryView::Take() {
    const std::string note = note_->text().toStdString();
    result_->setPlainText(QStringLiteral("Taking a snapshot ..."));
    HistoryOutcome outcome;
    work_.Run([&] { outcome = pane_.Take(note, NowMs()); });
    if (outcome.ok) note_->clear();
    Show(outcome, true);
}

void HistoryView::CompareWithNow() {
    const std::vector<int64_t> ids = Selected();
    if (ids.size() != 1) return;
    result_->setPlainText(QStringLiteral("Reading the projector ..."));
    HistoryOutcome outcome;
    work_.Run([&] { outcome = pane_.Compare(ids.front(), 0); });
    Show(outcome, false);
}

void HistoryView::CompareTwo() {
    const std::vector<int64_t> ids = Selected();
    if (ids.size() != 2) return;
    Show(pane_.Compare(ids[0], ids[1]), false);
}

void HistoryView::Drift() {
    result_->setPlainText(QStringLiteral("Reading the projector ..."));
    HistoryOutcome outcome;
    work_.Run([&] { outcome = pane_.Drift(); });
    Show(outcome, false);
}

void HistoryView::Restore() {
    const std::vector<int64_t> ids = Selected();
    if (ids.size() != 1) return;
    std::vector<std::array<uint8_t, 4>> only;
    const QByteArray wire = what_->currentData().toByteArray();
    if (wire.size() == 4) only.push_back({static_cast<uint8_t>(wire[0]), static_cast<uint8_t>(wire[1]),
                                          static_cast<uint8_t>(wire[2]), static_cast<uint8_t>(wire[3])});
    result_->setPlainText(QStringLiteral("Restoring ..."));
    HistoryOutcome outcome;
    // The core asks for the confirmation (blocks, values, the snapshot taken first).
    work_.Run([&] { outcome = pane_.Restore(ids.front(), only, NowMs()); });
    Show(outcome, true);
}

}  // namespace ombrix::gui
