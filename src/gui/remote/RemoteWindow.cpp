#include "gui/remote/RemoteWindow.h"

#include <QAction>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>
#include <algorithm>

#include "core/link/Frame.h"
#include "core/projector/Messages.h"
#include "gui/app/AboutDialog.h"
#include "gui/app/Images.h"
#include "gui/comm/GroupDialog.h"
#include "gui/remote/CloseBox.h"
#include "gui/remote/HandsetKey.h"
#include "gui/remote/LineWork.h"
#include "gui/remote/RemoteControl.h"
#include "kelvanebmp.h"
#include "gui/platform/Accessible.h"
#include "gui/platform/ProgressBox.h"
#include "gui/platform/ProjectorNews.h"

namespace ombrix::gui {
namespace {

constexpr int kCommandAnotherWindow = 40031;
constexpr int kCommandExit = 40034;
constexpr int kCommandAbout = 1401;
constexpr int kMargin = 10;
// The picture sits kMargin below the toolbar; the key table counts from the toolbar's top.
constexpr int kKeyShiftY = kMargin - kRemotePictureY;

QLabel* StatusPart(QStatusBar* bar, const QString& name, int stretch) {
    auto* label = new LiveLabel(name);
    label->setObjectName(name);
    bar->addWidget(label, stretch);
    return label;
}

int DigitControl(int digit) {
    for (const RemoteKey& k : kRemoteKeys)
        if (k.kind == RemoteKeyKind::Digit && k.code == 0x10 + digit) return k.control;
    return 0;
}

}  // namespace

RemoteWindow::RemoteWindow(ProgramState& state, int id, QWidget* owner, Links links)
    : QWidget(owner, Qt::Window), state_(state), id_(id), links_(std::move(links)) {
    setObjectName(QStringLiteral("RCUDLGBOX"));
    SetAccessibleRole(this, QAccessible::Window);
    setAttribute(Qt::WA_DeleteOnClose);
    const QImage icon = LibraryImage(state_.imagesLibrary.get(), KELVANE_IMAGE_WINDOW_ICON);
    if (!icon.isNull()) setWindowIcon(QIcon(QPixmap::fromImage(icon)));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    BuildMenuAndToolbar(layout);
    auto* client = new QWidget;
    client->setObjectName(QStringLiteral("handset"));
    client->setAccessibleName(QStringLiteral("Handset"));
    layout->addWidget(client, 0, Qt::AlignHCenter);
    BuildHandset(client);
    BuildStatus(layout);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    ShowEntry();
}

RemoteWindow::~RemoteWindow() { RemoteControlGone(id_); }

RemoteWindowEntry* RemoteWindow::Entry() const { return FindRemoteWindow(RemoteControlTable(), id_); }

void RemoteWindow::BuildMenuAndToolbar(QLayout* layout) {
    auto* bar = new QMenuBar;
    QMenu* file = bar->addMenu(QStringLiteral("&File"));
    QAction* another = file->addAction(QStringLiteral("&Remote control ..."));
    QAction* toGroup = file->addAction(QStringLiteral("Send to &group ..."));
    file->addSeparator();
    QAction* exit = file->addAction(QStringLiteral("E&xit"));
    QMenu* help = bar->addMenu(QStringLiteral("&Help"));
    QAction* about = help->addAction(QStringLiteral("&About..."));
    another->setData(kCommandAnotherWindow);
    exit->setData(kCommandExit);
    about->setData(kCommandAbout);
    layout->setMenuBar(bar);

    connect(another, &QAction::triggered, this, [this] {
        if (links_.frame) OpenRemoteControl(state_, links_.ui, links_.frame, links_.projectorsChanged);
    });
    connect(exit, &QAction::triggered, this, &RemoteWindow::CloseQuery);
    connect(toGroup, &QAction::triggered, this, &RemoteWindow::ChooseGroup);
    connect(about, &QAction::triggered, this, [this] {
        AboutDialog dialog(windowIcon(), this);
        dialog.exec();
    });

    auto* tools = new QToolBar;
    tools->setObjectName(QStringLiteral("toolbar"));
    tools->setAccessibleName(QStringLiteral("Remote control toolbar"));
    tools->setIconSize(QSize(KELVANE_TOOLBAR_SLOT_WIDTH, KELVANE_TOOLBAR_SLOT_HEIGHT));
    const QImage strip = LibraryImage(state_.imagesLibrary.get(), KELVANE_IMAGE_REMOTE_TOOLBAR);
    QAction* commands[] = {another, about};
    for (int i = 0; i < 2; ++i) {
        const QIcon image = ToolbarIcon(strip, i);
        QAction* a = tools->addAction(commands[i]->text().remove(QLatin1Char('&')));
        a->setData(commands[i]->data());
        if (!image.isNull()) a->setIcon(image);
        connect(a, &QAction::triggered, commands[i], &QAction::trigger);
        if (QWidget* button = tools->widgetForAction(a)) {
            button->setAccessibleName(a->text());
            button->setFocusPolicy(Qt::TabFocus);
        }
    }
    tools->setToolButtonStyle(strip.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
    layout->addWidget(tools);
}

void RemoteWindow::BuildHandset(QWidget* client) {
    Library* images = state_.imagesLibrary.get();
    QImage background;
    if (!images) {
        ShowError(state_.env, 41);
    } else {
        background = LibraryImage(images, KELVANE_IMAGE_REMOTE_BACKGROUND);
        if (background.isNull()) ShowError(state_.env, 48);
    }
    const int w = background.isNull() ? kRemoteFallbackWidth : background.width();
    const int h = background.isNull() ? kRemoteFallbackHeight : background.height();
    client->setFixedSize(w + 2 * kMargin, h + 2 * kMargin);

    picture_ = new QLabel(client);
    picture_->setObjectName(QStringLiteral("picture"));
    picture_->setAccessibleName(QStringLiteral("Handset picture"));
    picture_->setGeometry(kMargin, kMargin, w, h);
    if (!background.isNull()) picture_->setPixmap(QPixmap::fromImage(background));

    for (const RemoteKey& k : kRemoteKeys) {
        auto* key = new HandsetKey(k, client);
        key->setGeometry(k.x, k.y + kKeyShiftY, k.width, k.height);
        const auto [normal, pressed] = RemoteKeyImages(images, k.control);
        key->SetImages(normal, pressed);
        const int control = k.control;
        if (k.kind == RemoteKeyKind::Repeating) {
            connect(key, &HandsetKey::held, this,
                    [this, control](int qtKey, bool released) { Hold(control, qtKey, released); });
        }
        connect(key, &QAbstractButton::clicked, this, [this, control] { Press(control); });
    }
}

void RemoteWindow::BuildStatus(QLayout* layout) {
    auto* first = new QStatusBar;
    statusBar_ = first;
    first->setObjectName(QStringLiteral("status1"));
    first->setSizeGripEnabled(false);
    connection_ = StatusPart(first, QStringLiteral("connection"), 2);
    addressLabel_ = StatusPart(first, QStringLiteral("addressLabel"), 1);
    addressLabel_->setText(QStringLiteral("Address"));
    addressPart_ = StatusPart(first, QStringLiteral("address"), 1);
    layout->addWidget(first);

    auto* second = new QStatusBar;
    second->setObjectName(QStringLiteral("status2"));
    second->setSizeGripEnabled(false);
    lastKey_ = StatusPart(second, QStringLiteral("lastKey"), 2);
    lastKey_->setText(QStringLiteral("Ready"));
    mode_ = StatusPart(second, QStringLiteral("mode"), 2);
    layout->addWidget(second);

    // A line of its own, wrapped to the handset's width: the members a group key reached
    // and those it left out can be longer than a status part.
    groupOutcome_ = new LiveLabel(QStringLiteral("Group result"));
    groupOutcome_->setObjectName(QStringLiteral("groupResult"));
    groupOutcome_->setWordWrap(true);
    groupOutcome_->setContentsMargins(4, 2, 4, 2);
    groupOutcome_->hide();
    layout->addWidget(groupOutcome_);
}

void RemoteWindow::ChooseGroup() {
    const QString name = ChooseGroupName(state_.groups, state_.env, QStringLiteral("Send to group"), this);
    if (!name.isEmpty()) AimAtGroup(name);
}

void RemoteWindow::AimAtGroup(const QString& name) {
    RemoteWindowEntry* e = Entry();
    const int g = FindGroup(state_.groups, name.toStdString());
    if (!e || g < 0) return;
    AimRemoteAtGroup(*e, state_.groups.groups[static_cast<size_t>(g)]);
    ShowEntry();
}

void RemoteWindow::ShowEntry() {
    const RemoteWindowEntry* e = Entry();
    if (!e) return;
    const QString title = QString::fromStdString(RemoteWindowTitle(*e));
    setWindowTitle(title);
    setAccessibleName(title);
    // A group's name makes the title longer than the handset is wide.
    statusBar_->setMinimumWidth(WidthForTitle(title));
    connection_->setText(QString::fromLatin1(RemoteConnectionText(IsConnected(state_.link) != 0)));
    // Aimed at a group, the keys go to its members, not to the address.
    const bool group = !e->group.empty() && !e->addressEntry;
    addressLabel_->setText(group ? QStringLiteral("Group") : QStringLiteral("Address"));
    addressPart_->setText(group ? QString::fromStdString(e->group) : QString::number(e->address));
    if (!group) groupOutcome_->hide();
    QString mode;
    if (e->addressEntry) {
        mode = QStringLiteral("Typing an address");
    } else if (e->address == 0) {
        mode = QStringLiteral("All projectors");
    }
    mode_->setText(mode);
    for (HandsetKey* key : findChildren<HandsetKey*>()) key->SetIlluminated(e->illuminated);
}

void RemoteWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Told once, not at every repaint: a box that comes back after each paint never goes.
    if (!state_.imagesLibrary && !told47_) {
        told47_ = true;
        QTimer::singleShot(0, this, [this] { ShowError(state_.env, 47); });
    }
}

void RemoteWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The line may have opened or closed since: the status follows when the user comes back.
    if (event->type() == QEvent::ActivationChange && isActiveWindow()) ShowEntry();
}

void RemoteWindow::Place(int openBefore) {
    adjustSize();
    QWidget* owner = parentWidget();
    QScreen* screen = owner ? owner->screen() : this->screen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QSize size = frameGeometry().size();
    int x = area.center().x() - size.width() / 2;
    if (owner) x = owner->mapToGlobal(owner->rect().center()).x() - size.width() / 2;
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    move(x + 20 * openBefore, area.top());
}

HandsetKey* RemoteWindow::Key(int control) const {
    return findChild<HandsetKey*>(QStringLiteral("key%1").arg(control));
}

void RemoteWindow::Press(int control) {
    RemoteWindowEntry* e = Entry();
    if (busy_ || !e) return;
    KeyPress press = BeginKeyPress(*e, state_.projectors, control);
    RunPress(press, Key(control), -1, true);
}

void RemoteWindow::Hold(int control, int qtKey, bool released) {
    RemoteWindowEntry* e = Entry();
    if (busy_ || !e) return;
    KeyPress press = BeginKeyPress(*e, state_.projectors, control);
    RunPress(press, Key(control), qtKey, released);
}

// qtKey -1: one press; otherwise the key is held until that key (0: the mouse button)
// comes up, or was up already (released).
void RemoteWindow::RunPress(KeyPress& press, HandsetKey* key, int qtKey, bool released) {
    if (!press.key) return;
    ShowEntry();
    ShowLiveText(lastKey_, QString::fromLatin1(press.key->legend));
    // The line tells what the last single press came to: another key's is gone now.
    groupOutcome_->hide();
    if (!press.sends && press.key->pauseMs == 0) return;  // the lamp: nothing for the line
    const QPointer<RemoteWindow> self(this);
    const QPointer<HandsetKey> shown(key);
    busy_ = true;
    if (key) key->setDown(true);
    Link& link = state_.link;
    const Env env = state_.env;
    auto running = lineWork_;
    *running = true;
    if (qtKey < 0) {
        RunLineWork([&link, env, &press, running] {
            RunKeyPress(link, env, press);
            *running = false;
        });
    } else {
        auto held = held_;
        *held = !released;
        KeyReleaseWatch watch(held, qtKey);
        RunLineWork(
            [&link, env, &press, running, held] {
                RunRepeatLoop(link, env, press, *held);
                *running = false;
            },
            &watch);
    }
    // The window may have been closed meanwhile (the program ending).
    if (!self) return;
    busy_ = false;
    if (shown) shown->setDown(false);
    if (FinishKeyPress(state_.projectors, state_.statusFlags, press) && links_.projectorsChanged)
        links_.projectorsChanged();
    if (!self) return;
    ShowEntry();
    if (press.sends) {
        QList<int> reached;
        for (uint8_t a : press.connected) reached << a;
        if (press.address != 0) reached = {press.address};
        emit ProjectorNews::Instance().keysSent(reached);
    }
    // A held key is sent many times; a single press says what each member made of it.
    if (press.group && qtKey < 0) {
        ShowLiveText(groupOutcome_, QString::fromLatin1(press.key->legend) + QStringLiteral(": ") +
                                        QString::fromStdString(GroupOutcomeText(press.members)));
        groupOutcome_->show();
    }
}

void RemoteWindow::keyPressEvent(QKeyEvent* event) {
    const int k = event->key();
    if (event->isAutoRepeat()) return;
    if (k >= Qt::Key_0 && k <= Qt::Key_9) {
        Press(DigitControl(k - Qt::Key_0));
    } else if (k == Qt::Key_Return || k == Qt::Key_Enter) {
        Press(1012);
    } else if (k == Qt::Key_Left || k == Qt::Key_Right) {
        if (auto* focused = qobject_cast<HandsetKey*>(focusWidget())) {
            const int pair = RemotePairOf(focused->Key().control);
            if (pair >= 0) pair_ = pair;
        }
        const int control = kRemotePairs[pair_][k == Qt::Key_Left ? 0 : 1];
        if (HandsetKey* key = Key(control)) key->setFocus(Qt::OtherFocusReason);
        Hold(control, k);
    } else if (k == Qt::Key_Up || k == Qt::Key_Down) {
        pair_ = std::clamp(pair_ + (k == Qt::Key_Up ? -1 : 1), 0, kRemotePairCount - 1);
        if (HandsetKey* key = Key(kRemotePairs[pair_][0])) key->setFocus(Qt::OtherFocusReason);
    } else {
        QWidget::keyPressEvent(event);
    }
}

void RemoteWindow::CloseQuery() {
    const int choice = AskRemoteClose(this);
    CloseRemoteControls(RemoteWindowsToClose(RemoteControlTable(), id_, choice));
}

}  // namespace ombrix::gui
