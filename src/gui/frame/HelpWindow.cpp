#include "gui/frame/HelpWindow.h"

#include <algorithm>

#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace ombrix::gui {
namespace {

const QString kHelpFolder = QStringLiteral(":/help");

QUrl PageUrl(const QString& file) { return QUrl(QStringLiteral("qrc:/help/") + file); }

}  // namespace

QString HelpPageForFocus() {
    std::vector<std::string> names;
    for (QObject* o = QApplication::focusWidget(); o; o = o->parent()) names.push_back(o->objectName().toStdString());
    if (names.empty())
        for (QObject* o = QApplication::activeWindow(); o; o = o->parent()) names.push_back(o->objectName().toStdString());
    return QString::fromStdString(HelpPageFor(names));
}

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Ombrix Help"));
    setAccessibleName(windowTitle());

    for (const QString& file : QDir(kHelpFolder).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name)) {
        QFile page(kHelpFolder + QLatin1Char('/') + file);
        if (page.open(QIODevice::ReadOnly))
            pages_.push_back(ReadHelpPage(file.toStdString(), page.readAll().toStdString()));
    }

    browser_ = new QTextBrowser;
    browser_->setObjectName(QStringLiteral("helpText"));
    browser_->setAccessibleName(QStringLiteral("Help text"));
    browser_->setOpenExternalLinks(false);

    auto* contents = new QPushButton(QStringLiteral("&Contents"));
    auto* back = new QPushButton(QStringLiteral("&Back"));
    auto* forward = new QPushButton(QStringLiteral("&Forward"));
    back->setEnabled(false);
    forward->setEnabled(false);
    connect(contents, &QPushButton::clicked, this, &HelpWindow::ShowContents);
    connect(back, &QPushButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QPushButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QPushButton::setEnabled);

    auto* searchLabel = new QLabel(QStringLiteral("&Search:"));
    search_ = new QLineEdit;
    search_->setObjectName(QStringLiteral("helpSearch"));
    search_->setAccessibleName(QStringLiteral("Search"));
    search_->setPlaceholderText(QStringLiteral("words to find in the help"));
    search_->setClearButtonEnabled(true);
    searchLabel->setBuddy(search_);
    connect(search_, &QLineEdit::textChanged, this, [this](const QString& text) { Search(text); });
    // Enter in the field opens the first page found, not the dialog's first button.
    search_->installEventFilter(this);

    results_ = new QListWidget;
    results_->setObjectName(QStringLiteral("helpResults"));
    results_->setAccessibleName(QStringLiteral("Pages found"));
    results_->hide();
    connect(results_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0) ShowPage(results_->item(row)->data(Qt::UserRole).toString());
    });

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* navigation = new QHBoxLayout;
    navigation->addWidget(contents);
    navigation->addWidget(back);
    navigation->addWidget(forward);
    navigation->addSpacing(12);
    navigation->addWidget(searchLabel);
    navigation->addWidget(search_, 1);
    auto* split = new QSplitter(Qt::Horizontal);
    split->addWidget(results_);
    split->addWidget(browser_);
    split->setStretchFactor(1, 1);
    // The pages found are listed by their titles, which should show whole.
    int titles = 0;
    for (const HelpPage& p : pages_)
        titles = std::max(titles, results_->fontMetrics().horizontalAdvance(QString::fromStdString(p.title)));
    const int listWidth = std::min(titles + 32, 340);
    split->setSizes({listWidth, 740 - listWidth});
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(navigation);
    layout->addWidget(split, 1);
    layout->addWidget(buttons);
    resize(std::max(760, listWidth + 560), 560);
    ShowContents();
}

bool HelpWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != search_ || event->type() != QEvent::KeyPress) return QDialog::eventFilter(watched, event);
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) return QDialog::eventFilter(watched, event);
    QListWidgetItem* first = results_->count() ? results_->item(0) : nullptr;
    if (first && (first->flags() & Qt::ItemIsEnabled)) {
        results_->setCurrentRow(0);
        ShowPage(first->data(Qt::UserRole).toString());
        browser_->setFocus();
    }
    return true;
}

void HelpWindow::ShowContents() { ShowPage(QString::fromLatin1(kHelpContentsPage)); }

void HelpWindow::ShowPage(const QString& file) {
    const bool known = std::any_of(pages_.begin(), pages_.end(),
                                   [&](const HelpPage& p) { return QString::fromStdString(p.file) == file; });
    const QUrl url = PageUrl(known ? file : QString::fromLatin1(kHelpContentsPage));
    if (browser_->source() != url) browser_->setSource(url);
}

QString HelpWindow::PageFile() const { return browser_->source().fileName(); }

void HelpWindow::Search(const QString& words) {
    const QSignalBlocker quiet(results_);
    results_->clear();
    const std::vector<size_t> found = SearchHelp(pages_, words.toStdString());
    results_->setVisible(!words.trimmed().isEmpty());
    if (words.trimmed().isEmpty()) return;
    if (found.empty()) {
        auto* none = new QListWidgetItem(QStringLiteral("No page found"), results_);
        none->setFlags(Qt::NoItemFlags);
        return;
    }
    for (size_t i : found) {
        auto* item = new QListWidgetItem(QString::fromStdString(pages_[i].title), results_);
        item->setData(Qt::UserRole, QString::fromStdString(pages_[i].file));
    }
    results_->setCurrentRow(0);
    ShowPage(results_->item(0)->data(Qt::UserRole).toString());
    // The first word is marked in the page, so the reader sees where it stands.
    const QString first = words.trimmed().section(QLatin1Char(' '), 0, 0, QString::SectionSkipEmpty);
    browser_->moveCursor(QTextCursor::Start);
    browser_->find(first);
}

}  // namespace ombrix::gui
