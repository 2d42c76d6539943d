#include "gui/directaccess/IrisPanel.h"

#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/directaccess/Iris.h"
#include "gui/directaccess/LineWork.h"
#include "gui/platform/Accessible.h"

namespace ombrix::gui {
namespace {

constexpr int kWorkerDelayMs = 10;

}  // namespace

IrisPanel::IrisPanel(ProgramState& state, QWidget* parent) : QWidget(parent), state_(state) {
    setObjectName(QStringLiteral("IRIS"));
    setAccessibleName(QStringLiteral("IRIS"));
    auto* layout = new QVBoxLayout(this);

    auto* controls = new QGroupBox(QStringLiteral("IRIS controls"), this);
    controls->setAccessibleName(controls->title());
    auto* controlsLayout = new QVBoxLayout(controls);
    const std::pair<const char*, IrisAction> actions[] = {{"Touch Up", IrisAction::TouchUp},
                                                          {"Autoconvergence", IrisAction::Autoconvergence},
                                                          {"Focus", IrisAction::Focus}};
    for (const auto& [text, action] : actions) {
        auto* b = new QPushButton(QString::fromLatin1(text), controls);
        b->setAccessibleName(b->text());
        connect(b, &QPushButton::clicked, this, [this, a = action] { Run(static_cast<int>(a)); });
        controlsLayout->addWidget(b);
    }
    // A run takes minutes on one projector; with a group chosen it would not be clear
    // which one it follows.
    if (state_.direct.selection.kind != SelectionKind::Default) {
        controls->setTitle(QStringLiteral("IRIS controls : one projector at a time, choose Default"));
        controls->setAccessibleName(controls->title());
        controls->setEnabled(false);
    }
    layout->addWidget(controls);

    auto* exiting = new QGroupBox(QStringLiteral("IRIS : exiting command"), this);
    exiting->setAccessibleName(exiting->title());
    auto* exitLayout = new QVBoxLayout(exiting);
    exit_ = new QPushButton(QStringLiteral("Exit"), exiting);
    exit_->setAccessibleName(exit_->text());
    connect(exit_, &QPushButton::clicked, this, &IrisPanel::Exit);
    exitLayout->addWidget(exit_);
    layout->addWidget(exiting);

    auto* info = new QGroupBox(QStringLiteral("Info"), this);
    info->setAccessibleName(info->title());
    auto* infoLayout = new QVBoxLayout(info);
    line1_ = new LiveLabel(QStringLiteral("Command progress"), QString(), info);
    line2_ = new LiveLabel(QStringLiteral("Worker state"), QString(), info);
    line1_->setObjectName(QStringLiteral("line1"));
    line2_->setObjectName(QStringLiteral("line2"));
    infoLayout->addWidget(line1_);
    infoLayout->addWidget(line2_);
    layout->addWidget(info);
    layout->addStretch(1);

    // Lines come from the worker as well; they reach the labels on this thread, and
    // not at all once the panel is gone.
    QPointer<IrisPanel> self(this);
    iris_ = std::make_unique<IrisControl>(state_, [self](int line, const std::string& text) {
        const QString t = QString::fromStdString(text);
        QMetaObject::invokeMethod(
            self.data(),
            [self, line, t] {
                if (self) ShowLiveText(self->InfoLine(line), t);
            },
            Qt::QueuedConnection);
    });
}

IrisPanel::~IrisPanel() { iris_->Stop(); }

void IrisPanel::Run(int action) {
    bool started = false;
    RunOnLine([&] { started = iris_->Start(static_cast<IrisAction>(action)); });
    if (started) QTimer::singleShot(kWorkerDelayMs, this, [this] { iris_->StartWorker(); });
}

void IrisPanel::Exit() {
    RunOnLine([this] { iris_->Exit(); });
}

}  // namespace ombrix::gui
