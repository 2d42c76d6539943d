#include "gui/comm/InfoTabs.h"

#include <QTabBar>

namespace ombrix::gui {
namespace {
// The page leaves this much of the tab's display area free below it.
constexpr int kPageShortfall = 30;
}

InfoTabs::InfoTabs(PageMaker makePage, QWidget* parent) : QTabWidget(parent), makePage_(std::move(makePage)) {
    setObjectName(QStringLiteral("infoTabs"));
    setAccessibleName(QStringLiteral("Projector Info Window"));
    setStyleSheet(QStringLiteral("QTabWidget::pane { background: #808080; border: 1px solid #606060; }"
                                 "QTabBar::tab { background: #808080; color: white; padding: 4px 12px;"
                                 " border: 1px solid #606060; }"
                                 "QTabBar::tab:selected { background: #909090; font-weight: bold; }"
                                 "QWidget#infoTabPage { background: #808080; }"));
    for (const char* text : {"Projector Info", "Info Options", "General Info"}) {
        auto* holder = new QWidget;
        holder->setObjectName(QStringLiteral("infoTabPage"));
        holder->setAttribute(Qt::WA_StyledBackground);
        holder->setAccessibleName(QString::fromLatin1(text));
        addTab(holder, QString::fromLatin1(text));
    }
    connect(this, &QTabWidget::currentChanged, this, &InfoTabs::ShowPage);
    ShowPage(0);
}

void InfoTabs::ShowPage(int tab) {
    delete page_;
    page_ = nullptr;
    QWidget* holder = widget(tab);
    if (!holder || !makePage_) return;
    page_ = makePage_(tab, holder);
    if (!page_) return;
    PlacePage();
    page_->show();
}

void InfoTabs::PlacePage() {
    if (!page_ || !page_->parentWidget()) return;
    const QSize area = page_->parentWidget()->size();
    page_->setGeometry(0, 0, area.width(), qMax(0, area.height() - kPageShortfall));
}

void InfoTabs::resizeEvent(QResizeEvent* event) {
    QTabWidget::resizeEvent(event);
    PlacePage();
}

}  // namespace ombrix::gui
