#include "gui/frame/HelpWindow.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace ombrix::gui {
namespace {

const QUrl kContents(QStringLiteral("qrc:/help/index.html"));

}  // namespace

HelpWindow::HelpWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("helpWindow"));
    setWindowTitle(QStringLiteral("Ombrix Help"));
    setAccessibleName(windowTitle());

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
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* navigation = new QHBoxLayout;
    navigation->addWidget(contents);
    navigation->addWidget(back);
    navigation->addWidget(forward);
    navigation->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(navigation);
    layout->addWidget(browser_, 1);
    layout->addWidget(buttons);
    resize(640, 520);
    ShowContents();
}

void HelpWindow::ShowContents() { browser_->setSource(kContents); }

}  // namespace ombrix::gui
