#include "gui/directaccess/InfoStrip.h"

#include <QGridLayout>
#include <algorithm>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>

#include "core/blocks/GroupTree.h"
#include "core/directaccess/Sources.h"
#include "gui/platform/Accessible.h"

namespace ombrix::gui {
namespace {

QLabel* AddField(QGridLayout* grid, int row, const char* caption, const QString& value, const char* name) {
    auto* label = new QLabel(QString::fromLatin1(caption));
    auto* field = new LiveLabel(QString::fromLatin1(caption).trimmed().remove(QLatin1Char(':')).trimmed(), value);
    field->setObjectName(QString::fromLatin1(name));
    grid->addWidget(label, row, 0);
    grid->addWidget(field, row, 1);
    return field;
}

}  // namespace

InfoStrip::InfoStrip(const ProgramState& state, const char* noSource, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DIRECTACCESSINFO"));
    setAccessibleName(QStringLiteral("Direct access information"));
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    pal.setColor(QPalette::WindowText, Qt::white);
    setPalette(pal);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(8, 4, 8, 4);
    grid->setVerticalSpacing(2);
    selection_ = AddField(grid, 0, "Projector Selection : ", QString::fromStdString(SelectionStripText(state)),
                          "projectorSelection");
    source_ = AddField(grid, 1, "Source Selection    :", QString::fromStdString(SourceFieldText(state, noSource)),
                       "sourceSelection");
    mode_ = AddField(grid, 2, "Mode                      :", QString(), "mode");
    SetMode(state.direct.compareMode);
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("progress"));
    bar_->setAccessibleName(QStringLiteral("Progress"));
    bar_->setTextVisible(false);
    bar_->setRange(0, 1);
    bar_->setValue(0);
    // Shown only while something runs: idle, it looked like a text field without a caption.
    bar_->setVisible(false);
    text_ = new LiveLabel(QStringLiteral("Progress text"), QString(), this);
    text_->setObjectName(QStringLiteral("progressText"));
    // A group's outcome names every member left out: it wraps rather than runs off the edge.
    text_->setWordWrap(true);
    grid->addWidget(bar_, 0, 2, 1, 1);
    grid->addWidget(text_, 1, 2, 2, 1, Qt::AlignTop);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(2, 2);
}

void InfoStrip::SetSource(const QString& text) { ShowLiveText(source_, text); }

void InfoStrip::SetSelection(const QString& text) { selection_->setText(text); }

void InfoStrip::SetMode(int compareMode) {
    ShowLiveText(mode_, compareMode ? QStringLiteral("Compare") : QStringLiteral("View"));
}

void InfoStrip::Begin(int range, const QString& text) {
    bar_->setRange(0, std::max(range, 1));
    bar_->setValue(0);
    bar_->setVisible(true);
    ShowLiveText(text_, text);
}

void InfoStrip::Step() { bar_->setValue(std::min(bar_->value() + 1, bar_->maximum())); }

void InfoStrip::End() {
    bar_->setValue(0);
    bar_->setVisible(false);
    ShowLiveText(text_, QString());
}

QString InfoStrip::ProgressText() const { return text_->text(); }

void InfoStrip::ShowOutcome(const std::vector<MemberOutcome>& members) {
    if (members.empty()) return;
    const QString text = QString::fromStdString(GroupOutcomeText(members));
    QPointer<InfoStrip> self(this);
    // Queued behind the progress the command posted, its End included.
    QMetaObject::invokeMethod(
        this,
        [self, text] {
            if (self) ShowLiveText(self->text_, text);
        },
        Qt::QueuedConnection);
}

ProgressHooks InfoStrip::Hooks(std::function<void(uint8_t)> changed) {
    QPointer<InfoStrip> self(this);
    auto post = [self](std::function<void(InfoStrip*)> fn) {
        if (!self) return;
        QMetaObject::invokeMethod(
            self.data(),
            [self, fn] {
                if (self) fn(self.data());
            },
            Qt::QueuedConnection);
    };
    ProgressHooks h;
    h.begin = [post](int range, const std::string& text) {
        const QString t = QString::fromStdString(text);
        post([range, t](InfoStrip* s) { s->Begin(range, t); });
    };
    h.step = [post] { post([](InfoStrip* s) { s->Step(); }); };
    h.end = [post] { post([](InfoStrip* s) { s->End(); }); };
    h.text = [post](const std::string& text) {
        const QString t = QString::fromStdString(text);
        post([t](InfoStrip* s) { s->text_->setText(t); });
    };
    if (changed) {
        h.projectorChanged = [post, changed](uint8_t address) { post([changed, address](InfoStrip*) { changed(address); }); };
    }
    return h;
}

}  // namespace ombrix::gui
