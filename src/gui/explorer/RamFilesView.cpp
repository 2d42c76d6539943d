#include "gui/explorer/RamFilesView.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "gui/platform/ListTableModel.h"

namespace ombrix::gui {
namespace {

const QString kOpenFile = QStringLiteral("Open File >>");
const QString kReturn = QStringLiteral("Return to listing");

QString Plain(const QString& text) { return QString(text).remove(QLatin1Char('&')); }

// A file dialog whose filter shows its name as the program gives it and matches either
// case of the extension.
bool PickFile(QWidget* parent, bool save, const QString& title, const QString& filter, const QString& suffix,
              std::string* path) {
    QFileDialog dialog(parent, title, QDir::currentPath());
    dialog.setNameFilter(filter);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setDefaultSuffix(suffix);
    if (save) {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
    *path = dialog.selectedFiles().first().toStdString();
    return true;
}

}  // namespace

RamFilesView::RamFilesView(const Env& env, std::string directory, QWidget* parent,
                           std::shared_ptr<ParameterColumnSwitches> keptSwitches)
    : QWidget(parent), env_(env), directory_(std::move(directory)), kept_(std::move(keptSwitches)) {
    if (kept_) browser_.switches = *kept_;
    pickSettingsFile = [this](std::string* path) {
        return PickFile(this, false, QStringLiteral("Load RAMfile"),
                        QStringLiteral("Setting Files (*.SET) (*.SET *.set)"), QStringLiteral("set"), path);
    };
    // A listing is written to a new file as well as over an old one.
    pickTextFile = [this](std::string* path) {
        return PickFile(this, true, QStringLiteral("Converting Listview To Text"),
                        QStringLiteral("Text Files (*.TXT) (*.txt *.TXT)"), QStringLiteral("txt"), path);
    };

    controls_ = new QWidget;
    controls_->setObjectName(QStringLiteral("RAMLISTBOX"));
    controls_->setAccessibleName(QStringLiteral("Explore RAMfiles"));
    controls_->setAutoFillBackground(true);
    QPalette grey = controls_->palette();
    grey.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    grey.setColor(QPalette::WindowText, Qt::white);
    controls_->setPalette(grey);

    auto* action = new QGroupBox(QStringLiteral("Action"));
    auto* actionColumn = new QVBoxLayout(action);
    open_ = new QPushButton(kOpenFile);
    view_ = new QPushButton(QStringLiteral("V&iew Block >>"));
    convert_ = new QPushButton(QStringLiteral("Convert to text"));
    for (QPushButton* b : {open_, view_, convert_}) {
        b->setAccessibleName(Plain(b->text()));
        actionColumn->addWidget(b);
    }
    actionColumn->addStretch();
    view_->setEnabled(false);
    convert_->setEnabled(false);
    connect(open_, &QPushButton::clicked, this, &RamFilesView::OpenOrReturn);
    connect(view_, &QPushButton::clicked, this, &RamFilesView::ViewSelectedBlock);
    connect(convert_, &QPushButton::clicked, this, &RamFilesView::ConvertToText);

    auto* options = new QGroupBox(QStringLiteral("Options"));
    auto* optionGrid = new QGridLayout(options);
    const struct {
        const char* text;
        int id;
    } switches[] = {{"Step", 1106},
                    {"DA1", 6214},
                    {"DA2", 6215},
                    {"Kind", 6216},
                    {"Color Dependency", 1131},
                    {"Direction Dependency", 1132},
                    {"Direct Access allowed", 6217},
                    {"Options needed", 6218}};
    int n = 0;
    for (const auto& s : switches) {
        auto* box = new QCheckBox(QString::fromLatin1(s.text));
        box->setAccessibleName(box->text());
        box->setChecked(*ColumnSwitch(browser_.switches, s.id));
        const int id = s.id;
        connect(box, &QCheckBox::toggled, this, [this, id](bool on) { ToggleColumn(id, on); });
        optionGrid->addWidget(box, n % 4, n / 4);
        ++n;
    }
    auto* controlRow = new QHBoxLayout(controls_);
    controlRow->addWidget(action);
    controlRow->addWidget(options, 1);

    model_ = new ListTableModel(this);
    listing_ = new QTableView;
    listing_->setObjectName(QStringLiteral("listing"));
    listing_->setAccessibleName(QStringLiteral("Listing"));
    listing_->setModel(model_);
    listing_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listing_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listing_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listing_->verticalHeader()->hide();
    listing_->horizontalHeader()->setStretchLastSection(true);

    auto* split = new QSplitter(Qt::Vertical);
    split->setHandleWidth(7);
    split->addWidget(controls_);
    split->addWidget(listing_);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 2);
    split->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);
}

RamFilesView::~RamFilesView() { LeaveRamFiles(browser_); }

void RamFilesView::ShowRows() {
    model_->SetList(RamFileListing(env_, browser_));
    listing_->resizeColumnsToContents();
}

void RamFilesView::ShowParameters(const ParameterListing& listing) {
    model_->SetList(listing.list);
    listing_->resizeColumnsToContents();
}

int RamFilesView::FirstSelectedRow() const {
    int first = -1;
    for (const QModelIndex& index : listing_->selectionModel()->selectedRows()) {
        if (first < 0 || index.row() < first) first = index.row();
    }
    return first;
}

void RamFilesView::OpenOrReturn() {
    if (browser_.viewingBlock) {
        ReturnToListing(browser_);
        ShowRows();
        open_->setText(kOpenFile);
        open_->setAccessibleName(kOpenFile);
        return;
    }
    std::string path;
    if (!pickSettingsFile || !pickSettingsFile(&path)) return;
    // A file that cannot be read leaves the one shown, its title and its buttons.
    if (!OpenRamFile(env_, browser_, path)) return;
    view_->setEnabled(true);
    convert_->setEnabled(true);
    title_ = QString::fromStdString(browser_.fileTitle);
    emit titleChanged(title_);
    ShowRows();
}

void RamFilesView::ViewSelectedBlock() {
    ParameterListing listing;
    if (ViewBlock(env_, browser_, FirstSelectedRow(), directory_, &listing) != ViewBlockResult::Shown) return;
    open_->setText(kReturn);
    open_->setAccessibleName(kReturn);
    ShowParameters(listing);
}

void RamFilesView::ToggleColumn(int controlId, bool on) {
    if (bool* s = ColumnSwitch(browser_.switches, controlId)) *s = on;
    if (kept_) *kept_ = browser_.switches;
    ParameterListing listing;
    if (RelistBlock(env_, browser_, directory_, &listing)) ShowParameters(listing);
}

void RamFilesView::ConvertToText() {
    std::string path;
    if (!pickTextFile || !pickTextFile(&path)) return;
    ConvertListToText(env_, model_->List(), kBlockListCellLimit, RamListingType(browser_),
                      RamListingInfo(title_.toStdString()), path);
}

}  // namespace ombrix::gui
