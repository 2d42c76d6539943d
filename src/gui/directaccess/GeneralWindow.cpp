#include "gui/directaccess/GeneralWindow.h"

#include <QEvent>
#include <QMouseEvent>
#include <QHBoxLayout>
#include <QListWidget>
#include <QVBoxLayout>

#include "core/directaccess/DirectAccess.h"
#include "core/directaccess/Sources.h"
#include "gui/directaccess/DirectImages.h"
#include "gui/directaccess/ForceBlockPanel.h"
#include "gui/directaccess/ForcePanel.h"
#include "gui/directaccess/InfoStrip.h"
#include "gui/directaccess/IrisPanel.h"
#include "gui/directaccess/SelectionPanel.h"
#include "kelvanebmp.h"

namespace ombrix::gui {
namespace {

constexpr int kEntryRole = Qt::UserRole;
constexpr int kEntryProjectorSelection = 1;
const char* const kEntries[4] = {"General", "Projector Selection", "Force Block", "IRIS"};

int PanelOf(int entry) {
    return entry == 1 ? kPanelSelection : entry == 2 ? kPanelForceBlock : entry == 3 ? kPanelIris : kPanelGeneral;
}

}  // namespace

GeneralWindow::GeneralWindow(ProgramState& state, std::function<void(uint8_t)> changed, QWidget* parent)
    : QWidget(parent), state_(state), changed_(std::move(changed)) {
    setObjectName(QStringLiteral("GeneralWindow"));
    setAccessibleName(QStringLiteral("General"));
    state_.direct.panel = kPanelGeneral;
    state_.direct.activeSource = state_.options.activeSource;

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* top = new QHBoxLayout;
    outer->addLayout(top, 1);

    options_ = new QListWidget(this);
    options_->setObjectName(QStringLiteral("options"));
    options_->setAccessibleName(QStringLiteral("Options"));
    options_->setViewMode(QListView::IconMode);
    // One entry per row, each centred in its grid cell.
    options_->setFlow(QListView::LeftToRight);
    options_->setMovement(QListView::Static);
    options_->setWrapping(true);
    options_->setResizeMode(QListView::Adjust);
    options_->setIconSize(QSize(48, 48));
    options_->setGridSize(QSize(128, 84));
    options_->setFixedWidth(136);
    options_->setMouseTracking(true);
    options_->viewport()->installEventFilter(this);
    QPalette pal = options_->palette();
    pal.setColor(QPalette::Base, QColor(0x80, 0x80, 0x80));
    pal.setColor(QPalette::Text, Qt::white);
    options_->setPalette(pal);
    const ProjectorRecord* record = CurrentRecord(state_);
    const int entries = record && record->iris ? 4 : 3;
    for (int e = 0; e < entries; ++e) {
        auto* item = new QListWidgetItem(QString::fromLatin1(kEntries[e]), options_);
        item->setData(kEntryRole, e);
        item->setIcon(DirectIcon(state_, KELVANE_IMAGE_DIRECT_OPTION(e, 0)));
        item->setTextAlignment(Qt::AlignHCenter);
    }
    connect(options_, &QListWidget::itemEntered, this, &GeneralWindow::Highlight);
    connect(options_, &QListWidget::itemClicked, this,
            [this](QListWidgetItem* item) { Choose(item->data(kEntryRole).toInt()); });
    connect(options_, &QListWidget::itemActivated, this,
            [this](QListWidgetItem* item) { Choose(item->data(kEntryRole).toInt()); });
    top->addWidget(options_);

    panelArea_ = new QWidget(this);
    auto* panelLayout = new QVBoxLayout(panelArea_);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    top->addWidget(panelArea_, 1);

    strip_ = new InfoStrip(state_, kNoActiveSourceOnOpen, this);
    outer->addWidget(strip_);

    panel_ = new ForcePanel(state_, strip_, changed_, panelArea_);
    panelLayout->addWidget(panel_);
}

void GeneralWindow::Choose(int entry) {
    if (state_.direct.irisBusy || entry < 0 || entry > 3) return;
    const int panel = PanelOf(entry);
    if (panel == state_.direct.panel && panel_) return;
    delete panel_;
    panel_ = nullptr;
    state_.direct.panel = panel;
    if (panel == kPanelSelection) {
        panel_ = new SelectionPanel(state_, strip_, panelArea_);
    } else if (panel == kPanelForceBlock) {
        panel_ = new ForceBlockPanel(state_, strip_, panelArea_);
    } else if (panel == kPanelIris) {
        panel_ = new IrisPanel(state_, panelArea_);
    } else {
        panel_ = new ForcePanel(state_, strip_, changed_, panelArea_);
    }
    panelArea_->layout()->addWidget(panel_);
    panel_->show();
}

void GeneralWindow::Highlight(QListWidgetItem* hovered) {
    for (int i = 0; i < options_->count(); ++i) {
        QListWidgetItem* item = options_->item(i);
        const int e = item->data(kEntryRole).toInt();
        // Projector Selection has no highlighted picture.
        const bool lit = item == hovered && e != kEntryProjectorSelection;
        item->setIcon(DirectIcon(state_, KELVANE_IMAGE_DIRECT_OPTION(e, lit ? 1 : 0)));
    }
}

bool GeneralWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == options_->viewport()) {
        if (event->type() == QEvent::Leave) Highlight(nullptr);
        if (event->type() == QEvent::MouseMove && !options_->itemAt(static_cast<QMouseEvent*>(event)->pos())) {
            Highlight(nullptr);
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace ombrix::gui
