#pragma once
// The information tabs of a projector: "Projector Info", "Info Options" and "General
// Info", white tab texts on grey. Only the page of the current tab exists; changing the
// tab destroys it and creates the page of the new one.
#include <QTabWidget>
#include <functional>

namespace ombrix::gui {

class InfoTabs : public QTabWidget {
    Q_OBJECT
public:
    // makePage(tab, parent) creates the page of a tab inside parent.
    using PageMaker = std::function<QWidget*(int tab, QWidget* parent)>;
    InfoTabs(PageMaker makePage, QWidget* parent = nullptr);

    QWidget* Page() const { return page_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void ShowPage(int tab);
    void PlacePage();

    PageMaker makePage_;
    QWidget* page_ = nullptr;
};

}  // namespace ombrix::gui
