#include "gui/directaccess/DirectAccessView.h"

#include "core/directaccess/DirectAccess.h"
#include "core/projector/Messages.h"
#include "gui/directaccess/GeneralWindow.h"
#include "gui/directaccess/PageHost.h"
#include "gui/directaccess/TabbedPages.h"

namespace ombrix::gui {
namespace {

constexpr int kWarningStandby = 24;

class DirectAccessView : public TabbedPages {
    Q_OBJECT
public:
    DirectAccessView(ProgramState& state, QWidget* parent)
        : TabbedPages({QStringLiteral("General"), QStringLiteral("Picture"), QStringLiteral("Geometry"),
                       QStringLiteral("Convergence"), QStringLiteral("Audio")},
                      [this](int index, QWidget* host) { return Build(index, host); }, parent),
          state_(state) {
        setObjectName(QStringLiteral("DirectAccess"));
        setAccessibleName(QStringLiteral("Direct Access"));
        SetVeto([this] { return DirectAccessBusy(state_); });
        Show(0);
    }

signals:
    void projectorsChanged();

private:
    QWidget* Build(int index, QWidget* host) {
        if (index == 0) return new GeneralWindow(state_, [this](uint8_t) { emit projectorsChanged(); }, host);
        return new PageHost(state_, index, host);
    }

    ProgramState& state_;
};

}  // namespace

QWidget* CreateDirectAccessView(ProgramState& state, QtUi*, QWidget* parent) {
    const ProjectorRecord* record = CurrentRecord(state);
    if (record && record->standby) {
        ShowWarning(state.env, kWarningStandby);
        return nullptr;
    }
    return new DirectAccessView(state, parent);
}

bool DirectAccessBusy(const ProgramState& state) { return state.direct.irisBusy; }

}  // namespace ombrix::gui

#include "DirectAccessView.moc"
