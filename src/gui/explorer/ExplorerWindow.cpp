#include "gui/explorer/ExplorerWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QSplitter>
#include <QVBoxLayout>

#include "core/explorer/Explorer.h"
#include "core/projector/Messages.h"
#include "gui/app/Images.h"
#include "gui/editor/EditorPane.h"
#include "gui/editor/WindowUi.h"
#include "gui/explorer/RamFilesView.h"
#include "gui/platform/Accessible.h"
#include "gui/platform/QtUi.h"
#include "kelvanebmp.h"

namespace ombrix::gui {
namespace {

constexpr int kIconSize = 32;
constexpr int kIconImage = KELVANE_IMAGE_EXPLORER_PROJECTOR;
constexpr int kHighlightImage = KELVANE_IMAGE_EXPLORER_LIT;
// The status bar's selection part.
constexpr int kSelectionPart = 2;

const char* const kIconTexts[] = {"Explore Projector", "Explore RAMfiles", "Managing Groups", "Managing Textfiles"};

QIcon Picture(Library* images, int number) {
    const QImage image = LibraryImage(images, number);
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

// Grey with white text; lists and the editor inside keep their own colours unless
// asked for.
void PaintGrey(QWidget* w, bool asList) {
    w->setAutoFillBackground(true);
    QPalette p = w->palette();
    p.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    p.setColor(QPalette::WindowText, Qt::white);
    if (asList) {
        p.setColor(QPalette::Base, QColor(0x80, 0x80, 0x80));
        p.setColor(QPalette::Text, Qt::white);
    }
    w->setPalette(p);
}

}  // namespace

QWidget* CreateExplorerWindow(ProgramState& state, QtUi* ui, QWidget* parent, const ExplorerKeeps& keeps) {
    return new ExplorerWindow(state, ui, parent, keeps);
}

ExplorerWindow::ExplorerWindow(ProgramState& state, QtUi* ui, QWidget* parent, ExplorerKeeps keeps)
    : QWidget(parent), state_(state), keeps_(std::move(keeps)), env_(state.env) {
    setObjectName(QStringLiteral("MDIMain"));
    setWindowTitle(QStringLiteral("Ombrix Explorer"));
    setAccessibleName(windowTitle());
    if (ui) {
        windowUi_ = std::make_unique<WindowUi>(*ui, this);
        env_.ui = windowUi_.get();
    }

    icons_ = new QListWidget;
    icons_->setObjectName(QStringLiteral("icons"));
    icons_->setAccessibleName(QStringLiteral("Ombrix Explorer"));
    icons_->setViewMode(QListView::IconMode);
    icons_->setFlow(QListView::TopToBottom);
    icons_->setWrapping(false);
    icons_->setMovement(QListView::Static);
    icons_->setIconSize(QSize(kIconSize, kIconSize));
    icons_->setSelectionMode(QAbstractItemView::NoSelection);
    icons_->setMouseTracking(true);
    icons_->setWordWrap(true);
    icons_->viewport()->installEventFilter(this);
    PaintGrey(icons_, true);
    bool picturesMissing = false;
    for (int i = 0; i < 4; ++i) {
        const QIcon picture = Picture(state_.imagesLibrary.get(), kIconImage + i);
        picturesMissing = picturesMissing || picture.isNull();
        auto* item = new QListWidgetItem(picture, QString::fromLatin1(kIconTexts[i]), icons_);
        item->setData(Qt::UserRole, i);
        item->setData(Qt::AccessibleTextRole, item->text());
        item->setTextAlignment(Qt::AlignHCenter);
    }
    // Without the image library the icons simply go without pictures; a library that
    // lacks them is worth a word.
    if (picturesMissing && state_.imagesLibrary) ShowError(env_, 31);
    connect(icons_, &QListWidget::itemEntered, this, [this](QListWidgetItem* item) { Highlight(icons_->row(item)); });
    connect(icons_, &QListWidget::viewportEntered, this, [this] { Highlight(-1); });
    connect(icons_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { ClickItem(item->data(Qt::UserRole).toInt()); });
    icons_->installEventFilter(this);

    right_ = new QWidget;
    right_->setObjectName(QStringLiteral("MDISet"));
    PaintGrey(right_, false);
    auto* rightLayout = new QVBoxLayout(right_);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    title_ = new LiveLabel(QStringLiteral("Listing title"));
    title_->setObjectName(QStringLiteral("listingTitle"));
    title_->setMargin(4);
    rightLayout->addWidget(title_);
    rightLayout->addStretch(1);

    split_ = new QSplitter(Qt::Horizontal);
    split_->setHandleWidth(7);
    split_->setChildrenCollapsible(false);
    split_->addWidget(icons_);
    split_->addWidget(right_);
    split_->setStretchFactor(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split_);
    connect(split_, &QSplitter::splitterMoved, this, [this] {
        splitDragged_ = true;
        LayOutIcons();
    });
    // Paste follows the clipboard.
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &ExplorerWindow::commandStatesChanged);
    ShowStatus(QStringLiteral("None"));
    resize(800, 560);
}

ExplorerWindow::~ExplorerWindow() {
    // The views go before the Ui they report through.
    delete viewWidget_;
}

QString ExplorerWindow::TitleText() const { return title_->text(); }

void ExplorerWindow::ShowStatus(const QString& text) {
    if (showStatus) showStatus(kSelectionPart, text);
}

void ExplorerWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The bar keeps its share of the width until the user drags it.
    if (!splitDragged_) {
        const ExplorerSplit s = InitialSplit(0, 0, width(), height());
        split_->setSizes({s.splitX, width() - s.splitX - split_->handleWidth()});
    }
    LayOutIcons();
}

void ExplorerWindow::LayOutIcons() {
    // One column, each icon centred in it.
    const QSize cell(std::max(icons_->viewport()->width() - 4, kIconSize),
                     kIconSize + 3 * icons_->fontMetrics().height());
    icons_->setGridSize(cell);
    for (int i = 0; i < icons_->count(); ++i) icons_->item(i)->setSizeHint(cell);
}

bool ExplorerWindow::eventFilter(QObject* watched, QEvent* event) {
    // Enter or Space on the item with the keyboard focus acts as a click.
    if (watched == icons_ && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) && icons_->currentItem()) {
            ClickItem(icons_->currentItem()->data(Qt::UserRole).toInt());
            return true;
        }
    }
    if (watched == icons_->viewport() && event->type() == QEvent::Leave) Highlight(-1);
    if (watched == icons_->viewport() && event->type() == QEvent::Resize) LayOutIcons();
    return QWidget::eventFilter(watched, event);
}

void ExplorerWindow::Highlight(int item) {
    for (int i = 0; i < icons_->count(); ++i) {
        // Only Explore RAMfiles and Managing Textfiles light up.
        const bool lit = i == item && (i == kIconExploreRamFiles || i == kIconManagingTextFiles);
        const QIcon icon = Picture(state_.imagesLibrary.get(), (lit ? kHighlightImage : kIconImage) + i);
        icons_->item(i)->setIcon(icon);
    }
}

void ExplorerWindow::ClickItem(int item) {
    switch (ClickIcon(view_, item)) {
        case IconAction::Nothing:
            return;
        case IconAction::NotImplemented:
            if (env_.ui) env_.ui->ShowBox(kNotImplementedCaption, kNotImplementedText, BoxIcon::None);
            return;
        case IconAction::ShowRamFiles:
            if (LeaveView()) ShowView(kExplorerViewRamFiles);
            return;
        case IconAction::ShowTextFiles:
            if (LeaveView()) ShowView(kExplorerViewTextFiles);
            return;
    }
}

bool ExplorerWindow::LeaveView() {
    // A text that the user keeps when asked keeps its view.
    if (editor_ && !closeAgreed_ && !editor_->QuerySave()) return false;
    delete viewWidget_;
    viewWidget_ = nullptr;
    editor_ = nullptr;
    fileName_ = nullptr;
    ramFiles_ = nullptr;
    return true;
}

void ExplorerWindow::ShowView(int view) {
    view_ = view;
    closeAgreed_ = false;
    const QString title = QString::fromLatin1(ViewTitle(view));
    ShowLiveText(title_, title);
    auto* rightLayout = static_cast<QVBoxLayout*>(right_->layout());
    if (view == kExplorerViewRamFiles) {
        ramFiles_ = new RamFilesView(env_, state_.startDirectory, nullptr, keeps_.switches);
        viewWidget_ = ramFiles_;
        connect(ramFiles_, &RamFilesView::titleChanged, this, [this](const QString& t) {
            ShowLiveText(title_, t);
        });
    } else {
        viewWidget_ = new QWidget;
        auto* column = new QVBoxLayout(viewWidget_);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        editor_ = new EditorPane(env_, nullptr, keeps_.editor);
        fileName_ = new LiveLabel(QStringLiteral("File name"), editor_->Title());
        fileName_->setObjectName(QStringLiteral("fileName"));
        fileName_->setMargin(4);
        column->addWidget(fileName_);
        column->addWidget(editor_, 1);
        connect(editor_, &EditorPane::titleChanged, this, [this](const QString& t) {
            ShowLiveText(fileName_, t);
        });
        connect(editor_, &EditorPane::statesChanged, this, &ExplorerWindow::commandStatesChanged);
        connect(editor_, &QPlainTextEdit::textChanged, this, [this] { closeAgreed_ = false; });
    }
    // In place of the stretch that holds the title up while there is no view.
    delete rightLayout->takeAt(1);
    rightLayout->addWidget(viewWidget_, 1);
    viewWidget_->show();
    if (editor_) editor_->setFocus();
    ShowStatus(title);
    emit commandStatesChanged();
}

bool ExplorerWindow::HandleCommand(int commandId) {
    if (commandId == 1008) return false;
    if (!editor_) {
        // Commands that need no text still belong here, so the frame does not act on them.
        return (commandId >= 1001 && commandId <= 1007) || (commandId >= 1101 && commandId <= 1105) ||
               (commandId >= 1201 && commandId <= 1204) || commandId == 40001 || commandId == 40002;
    }
    const bool taken = editor_->RunCommand(commandId);
    emit commandStatesChanged();
    return taken;
}

bool ExplorerWindow::CommandEnabled(int commandId) const {
    if (editor_) return editor_->CommandEnabled(commandId);
    return EditorCommandEnabled(commandId, EditorFacts{});
}

bool ExplorerWindow::QueryClose() {
    closeAgreed_ = !editor_ || editor_->QuerySave() != 0;
    return closeAgreed_;
}

void ExplorerWindow::closeEvent(QCloseEvent* event) {
    // The frame asks first and then closes: the user is asked once.
    if (!closeAgreed_ && !QueryClose()) {
        event->ignore();
        return;
    }
    LeaveView();
    event->accept();
}

}  // namespace ombrix::gui
