#pragma once
// A tab strip over one page widget at a time: choosing a tab destroys the old page and
// builds the new one in its place. A veto keeps the current tab while work runs.
#include <QWidget>
#include <functional>

class QTabBar;
class QVBoxLayout;

namespace ombrix::gui {

class TabbedPages : public QWidget {
    Q_OBJECT
public:
    using Factory = std::function<QWidget*(int index, QWidget* parent)>;

    TabbedPages(const QStringList& tabs, Factory factory, QWidget* parent = nullptr);
    // True keeps the current tab (the change is undone).
    void SetVeto(std::function<bool()> veto) { veto_ = std::move(veto); }
    // Builds the page of a tab (also the first one, once the owner is ready for it).
    void Show(int index);

    QTabBar* Tabs() const { return tabs_; }
    QWidget* Page() const { return page_; }

private:
    void OnChanged(int index);

    QTabBar* tabs_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
    QWidget* page_ = nullptr;
    Factory factory_;
    std::function<bool()> veto_;
    int shown_ = -1;
};

}  // namespace ombrix::gui
