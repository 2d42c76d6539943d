#include "gui/directaccess/SettingsView.h"

#include <QPointer>
#include <QResizeEvent>
#include <QTabBar>

#include "core/directaccess/SettingsPane.h"
#include "core/projector/Messages.h"
#include "gui/app/WorkingWindow.h"
#include "gui/directaccess/SettingsPaneView.h"

namespace ombrix::gui {
namespace {

class SettingsView final : public QWidget, public CommandTarget {
public:
    SettingsView(ProgramState& state, const std::vector<SettingsTab>& tabs, QWidget* parent)
        : QWidget(parent), state_(state) {
        setAccessibleName(QStringLiteral("Settings"));
        tabs_ = new QTabBar(this);
        tabs_->setAccessibleName(QStringLiteral("Settings"));
        tabs_->setExpanding(false);
        for (const SettingsTab& t : tabs) {
            const int i = tabs_->addTab(QString::fromStdString(t.name));
            tabs_->setTabData(i, kCmdSettingsGroupFirst + t.position);
            tabs_->setTabToolTip(i, tabs_->tabText(i));
        }
        connect(tabs_, &QTabBar::currentChanged, this, [this](int i) {
            if (i >= 0) OpenGroup(tabs_->tabData(i).toInt() - kCmdSettingsGroupFirst);
        });
        if (tabs_->count() > 0) OpenGroup(tabs_->tabData(0).toInt() - kCmdSettingsGroupFirst);
    }

    bool HandleCommand(int id) override {
        if (id < kCmdSettingsGroupFirst || id > kCmdSettingsGroupLast) return false;
        const int i = TabOf(id);
        if (i >= 0) tabs_->setCurrentIndex(i);
        return true;
    }
    bool CommandEnabled(int id) const override {
        return id < kCmdSettingsGroupFirst || id > kCmdSettingsGroupLast || TabOf(id) >= 0;
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        const int h = tabs_->sizeHint().height();
        tabs_->setGeometry(0, 0, width(), h);
        if (pane_) pane_->setGeometry(0, h, width(), height() - h);
    }

private:
    int TabOf(int command) const {
        for (int i = 0; i < tabs_->count(); ++i)
            if (tabs_->tabData(i).toInt() == command) return i;
        return -1;
    }
    // The old pane goes first, so its block is saved before the new one reads it.
    void OpenGroup(int position) {
        delete pane_;
        const int tab = TabOf(kCmdSettingsGroupFirst + position);
        pane_ = new SettingsPaneView(state_, position, this, tab >= 0 ? tabs_->tabText(tab) : QString());
        // Another tab waits, visibly, until this pane has read what it shows.
        tabs_->setEnabled(false);
        pane_->whenOpened = [this] { tabs_->setEnabled(true); };
        const int h = tabs_->sizeHint().height();
        pane_->setGeometry(0, h, width(), height() - h);
        pane_->show();
    }

    ProgramState& state_;
    QTabBar* tabs_;
    QPointer<SettingsPaneView> pane_;
};

}  // namespace

QWidget* CreateSettingsView(ProgramState& state, QtUi*, QWidget* parent) {
    std::vector<SettingsTab> tabs;
    if (!AdjustmentTabs(state, &tabs)) return nullptr;
    if (tabs.empty()) {
        // No group of the description applies to this block.
        ShowWarning(state.env, 41);
        return nullptr;
    }
    return new SettingsView(state, tabs, parent);
}

}  // namespace ombrix::gui
