#include "gui/directaccess/TabbedPages.h"

#include <QSignalBlocker>
#include <QTabBar>
#include <QVBoxLayout>

namespace ombrix::gui {

TabbedPages::TabbedPages(const QStringList& tabs, Factory factory, QWidget* parent)
    : QWidget(parent), factory_(std::move(factory)) {
    layout_ = new QVBoxLayout(this);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    tabs_ = new QTabBar(this);
    tabs_->setAccessibleName(QStringLiteral("Pages"));
    tabs_->setExpanding(false);
    for (const QString& t : tabs) tabs_->addTab(t);
    layout_->addWidget(tabs_);
    connect(tabs_, &QTabBar::currentChanged, this, &TabbedPages::OnChanged);
}

void TabbedPages::Show(int index) {
    if (index == shown_ && page_) return;
    delete page_;
    page_ = nullptr;
    shown_ = index;
    {
        const QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(index);
    }
    page_ = factory_ ? factory_(index, this) : nullptr;
    if (page_) {
        layout_->addWidget(page_, 1);
        page_->show();
    }
}

void TabbedPages::OnChanged(int index) {
    if (veto_ && veto_()) {
        const QSignalBlocker block(tabs_);
        tabs_->setCurrentIndex(shown_);
        return;
    }
    Show(index);
}

}  // namespace ombrix::gui
