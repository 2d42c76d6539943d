#include "gui/directaccess/SettingsPaneView.h"

#include <QApplication>
#include <QButtonGroup>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QCheckBox>
#include <QRadioButton>
#include <QScrollBar>
#include <QTimer>

#include "gui/directaccess/BlockComparisonView.h"
#include "gui/directaccess/LineWork.h"

namespace ombrix::gui {
namespace {

constexpr int kOpenDelayMs = 10;
constexpr int kMargin = 5;

QString Text(const std::string& s) { return QString::fromStdString(s); }

// The bar's actions as the pane counts them; SliderMove is the thumb.
bool ToScrollAction(int action, ScrollAction* out) {
    switch (action) {
        case QAbstractSlider::SliderSingleStepSub: *out = ScrollAction::LineLeft; return true;
        case QAbstractSlider::SliderSingleStepAdd: *out = ScrollAction::LineRight; return true;
        case QAbstractSlider::SliderPageStepSub: *out = ScrollAction::PageLeft; return true;
        case QAbstractSlider::SliderPageStepAdd: *out = ScrollAction::PageRight; return true;
        case QAbstractSlider::SliderMove: *out = ScrollAction::Thumb; return true;
        case QAbstractSlider::SliderToMinimum: *out = ScrollAction::ToStart; return true;
        case QAbstractSlider::SliderToMaximum: *out = ScrollAction::ToEnd; return true;
        default: return false;
    }
}

QLineEdit* ValueField(QWidget* parent, const QString& name) {
    auto* f = new QLineEdit(parent);
    f->setReadOnly(true);
    f->setAlignment(Qt::AlignRight);
    f->setAccessibleName(name);
    return f;
}

}  // namespace

SettingsPaneView::SettingsPaneView(ProgramState& state, int position, QWidget* parent, const QString& name)
    : QWidget(parent), state_(state), position_(position) {
    QFont font(QStringLiteral("MS Sans Serif"), 8, QFont::Bold);
    setFont(font);
    const QFontMetrics fm(font);
    charWidth_ = fm.averageCharWidth();
    // A line is tall enough for a value field's frame, not only its text.
    lineHeight_ = fm.height() + 8;
    settingsFrame_ = new QGroupBox(QStringLiteral("Settings"), this);
    settingsFrame_->setAccessibleName(settingsFrame_->title());
    controlFrame_ = new QGroupBox(QStringLiteral("Control"), this);
    controlFrame_->setAccessibleName(controlFrame_->title());
    panelFrame_ = new QGroupBox(this);
    minField_ = ValueField(this, QStringLiteral("Min"));
    maxField_ = ValueField(this, QStringLiteral("Max"));
    bar_ = new QScrollBar(Qt::Horizontal, this);
    bar_->setSingleStep(1);
    bar_->setPageStep(16);
    bar_->setFocusPolicy(Qt::StrongFocus);
    save_ = new QPushButton(QStringLiteral("&Save"), this);
    save_->setAccessibleName(QStringLiteral("Save"));
    restore_ = new QPushButton(QStringLiteral("&Restore"), this);
    restore_->setAccessibleName(QStringLiteral("Restore"));
    rowHeight_ = std::max(lineHeight_, QRadioButton(QStringLiteral("X"), this).sizeHint().height()) + 4;
    for (const char* caption : {"Mode", "Color", "Direction"}) {
        captionWidth_ = std::max(captionWidth_, fm.horizontalAdvance(QString::fromLatin1(caption)) + 2 * charWidth_);
    }
    for (QWidget* w : std::initializer_list<QWidget*>{settingsFrame_, controlFrame_, panelFrame_, minField_,
                                                      maxField_, bar_, save_, restore_}) {
        w->hide();
    }
    connect(save_, &QPushButton::clicked, this, [this] { OnLine([this] { SaveBlock(state_, pane_); }); });
    connect(restore_, &QPushButton::clicked, this, [this] { OnLine([this] { RestoreBlock(state_, pane_); }); });
    connect(bar_, &QAbstractSlider::actionTriggered, this, [this](int action) {
        // The bar moves by the pane's rule once the step is done, not on its own; a dragged
        // thumb stays under the mouse meanwhile.
        const int requested = bar_->sliderPosition();
        if (action != QAbstractSlider::SliderMove) bar_->setSliderPosition(bar_->value());
        QTimer::singleShot(0, this, [this, action, requested] {
            ScrollAction a;
            if (!ToScrollAction(action, &a)) return;
            OnLine([this, a, requested] { Scroll(state_, pane_, a, requested); });
            // A button released while the step ran was not seen: end the bar's repeat.
            if (!(QApplication::mouseButtons() & Qt::LeftButton)) {
                QMouseEvent release(QEvent::MouseButtonRelease, QPointF(), QPointF(), Qt::LeftButton, Qt::NoButton,
                                    Qt::NoModifier);
                QApplication::sendEvent(bar_, &release);
            }
        });
    });
    const QString reading = Text(PaneReadingText(state_, name.toStdString()));
    if (!reading.isEmpty()) {
        reading_ = new QLabel(reading, this);
        reading_->setObjectName(QStringLiteral("reading"));
        reading_->setAccessibleName(reading);
        reading_->setAccessibleDescription(QStringLiteral("Progress"));
        reading_->move(2 * kMargin, 2 * kMargin);
        reading_->adjustSize();
    }
    QTimer::singleShot(kOpenDelayMs, this, [this] { OpenNow(); });
}

SettingsPaneView::~SettingsPaneView() {
    for (QLineEdit* f : fields_) f->removeEventFilter(this);
    // Saving as the pane goes; a short exchange, run where the pane is being destroyed.
    CloseSettingsPane(state_, pane_);
}

void SettingsPaneView::OpenNow() {
    if (opened_) return;
    opened_ = true;
    OnLine([this] { OpenSettingsPane(state_, &pane_, position_); });
    if (reading_) reading_->hide();
    if (whenOpened) whenOpened();
    if (!pane_.loaded) return;
    setAccessibleName(Text(pane_.caption));
    setWindowTitle(Text(pane_.caption));
    BuildControlColumn();
    Sync();
}

void SettingsPaneView::OnLine(const std::function<void()>& step) {
    if (busy_) return;
    busy_ = true;
    RunOnLine(step);
    busy_ = false;
    Sync();
}

void SettingsPaneView::AddChoice(QButtonGroup* group, const char* text, int id, int row) {
    auto* b = new QRadioButton(QString::fromLatin1(text), this);
    b->setAccessibleName(b->text());
    group->addButton(b, id);
    rowChoices_[static_cast<size_t>(row)].push_back(b);
}

void SettingsPaneView::BuildControlColumn() {
    const PaneLayout layout = LayOutPane(pane_, charWidth_, lineHeight_, rowHeight_);
    rowChoices_.assign(layout.controlRows.size(), {});
    for (size_t i = 0; i < layout.controlRows.size(); ++i) {
        const std::string& row = layout.controlRows[i];
        const int r = static_cast<int>(i);
        if (row != "Control") {
            auto* caption = new QLabel(Text(row), this);
            caption->setAccessibleName(caption->text());
            rowCaptions_.push_back(caption);
        } else {
            rowCaptions_.push_back(nullptr);
        }
        if (row == "Mode") {
            modeGroup_ = new QButtonGroup(this);
            AddChoice(modeGroup_, "View", int(PaneMode::View), r);
            if (pane_.OffersCompare()) AddChoice(modeGroup_, "Compare", int(PaneMode::Compare), r);
            connect(modeGroup_, &QButtonGroup::idClicked, this, [this](int id) { SetMode(PaneMode(id)); });
        } else if (row == "Color") {
            colourGroup_ = new QButtonGroup(this);
            AddChoice(colourGroup_, "Red", int(PaneColour::Red), r);
            AddChoice(colourGroup_, "Green", int(PaneColour::Green), r);
            AddChoice(colourGroup_, "Blue", int(PaneColour::Blue), r);
            connect(colourGroup_, &QButtonGroup::idClicked, this, [this](int id) {
                OnLine([this, id] { ChooseColour(state_, pane_, PaneColour(id)); });
            });
        } else if (row == "Direction") {
            directionGroup_ = new QButtonGroup(this);
            if (pane_.DirectionKind() == 1) {
                AddChoice(directionGroup_, "Left/Right", int(PaneDirection::LeftRight), r);
                AddChoice(directionGroup_, "Top/Bottom", int(PaneDirection::TopBottom), r);
            } else {
                AddChoice(directionGroup_, "Lateral", int(PaneDirection::Lateral), r);
                AddChoice(directionGroup_, "Diagonal", int(PaneDirection::Diagonal), r);
            }
            connect(directionGroup_, &QButtonGroup::idClicked, this, [this](int id) {
                OnLine([this, id] { ChooseDirection(state_, pane_, PaneDirection(id)); });
            });
        } else if (row == "Control") {
            // An on/off switch of its own, beside no other choice: a check box, to the
            // eye and to assistive technology alike.
            toggle_ = new QCheckBox(Text(AccessText(pane_)), this);
            toggle_->setAccessibleName(toggle_->text());
            rowChoices_[i].push_back(toggle_);
            connect(toggle_, &QCheckBox::clicked, this, [this](bool on) {
                OnLine([this, on] { ShowControlPanel(state_, pane_, on); });
            });
        }
    }
}

void SettingsPaneView::SetMode(PaneMode mode) {
    if (mode == pane_.viewMode) return;
    if (mode == PaneMode::View) {
        delete comparison_;
        OnLine([this] { ChooseMode(state_, pane_, PaneMode::View); });
        return;
    }
    ChooseMode(state_, pane_, PaneMode::Compare);
    if (pane_.viewMode != PaneMode::Compare) return;
    comparison_ = new BlockComparisonView(
        state_, pane_, [this] { return busy_; },
        [this] {
            // Back: the comparison goes once its button's signal has returned.
            if (comparison_) {
                comparison_->hide();
                comparison_->deleteLater();
            }
            comparison_ = nullptr;
            OnLine([this] { ChooseMode(state_, pane_, PaneMode::View); });
        },
        this);
    comparison_->show();
    Sync();
}

void SettingsPaneView::Sync() {
    // While a step runs on the line the pane is the worker's; it is shown once it is done.
    if (busy_ || !pane_.loaded) return;
    const bool view = pane_.viewMode == PaneMode::View;
    const PaneLayout layout = LayOutPane(pane_, charWidth_, lineHeight_, rowHeight_);
    SyncFields(layout);
    settingsFrame_->setGeometry(layout.settingsFrame.x, layout.settingsFrame.y, layout.settingsFrame.w,
                                layout.settingsFrame.h);
    settingsFrame_->setVisible(view);
    settingsFrame_->lower();
    int shift = 0;
    if (comparison_) {
        // The comparison takes the room of the fields, and all the width the column leaves.
        const int columnWidth = ControlFrameWidth(layout) + 7 * charWidth_ + kMargin;
        const int w = std::max(layout.settingsFrame.w, width() - columnWidth - kMargin);
        comparison_->setGeometry(kMargin, kMargin, w, std::max(height() - 2 * kMargin, 200));
        shift = kMargin + w + 7 * charWidth_ - layout.controlFrame.x;
    }
    SyncControl(layout, shift);
    save_->setVisible(view);
    restore_->setVisible(view);
    // Keyboard order: the fields, the choices of the Control column, the bar, the buttons.
    std::vector<QWidget*> order(fields_.begin(), fields_.end());
    for (const auto& row : rowChoices_) order.insert(order.end(), row.begin(), row.end());
    order.insert(order.end(), {bar_, save_, restore_});
    for (size_t i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void SettingsPaneView::SyncFields(const PaneLayout& layout) {
    std::vector<int> ids;
    for (const PaneField& f : pane_.fields) ids.push_back(f.id * 1000 + f.parameter);
    if (ids != fieldIds_) {
        for (QLabel* l : labels_) delete l;
        for (QLineEdit* f : fields_) delete f;
        labels_.clear();
        fields_.clear();
        for (const PaneField& f : pane_.fields) {
            QLabel* label = nullptr;
            if (f.labelWidth > 0) {
                label = new QLabel(Text(f.name), this);
                label->setAccessibleName(label->text());
                label->show();
            }
            labels_.push_back(label);
            QLineEdit* field = ValueField(this, Text(f.name));
            field->setObjectName(QString::number(f.id));
            if (label) label->setBuddy(field);
            if (f.Responds()) field->installEventFilter(this);
            field->show();
            fields_.push_back(field);
        }
        fieldIds_ = ids;
    }
    for (size_t i = 0; i < fields_.size(); ++i) {
        const FieldRect& r = layout.fields[i];
        fields_[i]->setGeometry(r.x, r.y, r.w, r.h);
        fields_[i]->setText(QString::number(pane_.fields[i].value));
        if (labels_[i]) {
            const FieldRect& l = layout.labels[i];
            labels_[i]->setGeometry(l.x, l.y, l.w, l.h);
        }
    }
}

// The frame grows to its widest row of choices.
int SettingsPaneView::ControlFrameWidth(const PaneLayout& layout) const {
    int widest = 0;
    for (size_t i = 0; i < rowChoices_.size() && i < layout.controlRowRects.size(); ++i) {
        int w = rowCaptions_[i] ? captionWidth_ : 0;
        for (const QAbstractButton* b : rowChoices_[i]) w += b->sizeHint().width() + charWidth_;
        widest = std::max(widest, layout.controlRowRects[i].x - layout.controlFrame.x + w + charWidth_);
    }
    return std::max(layout.controlFrame.w, widest);
}

void SettingsPaneView::SyncControl(const PaneLayout& layout, int shift) {
    const FieldRect& cf = layout.controlFrame;
    for (size_t i = 0; i < rowChoices_.size() && i < layout.controlRowRects.size(); ++i) {
        const FieldRect& r = layout.controlRowRects[i];
        int x = r.x + shift;
        if (QLabel* caption = rowCaptions_[i]) {
            caption->setGeometry(x, r.y, captionWidth_, r.h);
            caption->show();
            x += captionWidth_;
        }
        for (QAbstractButton* b : rowChoices_[i]) {
            const int w = b->sizeHint().width();
            b->setGeometry(x, r.y, w, r.h);
            b->show();
            x += w + charWidth_;
        }
    }
    controlFrame_->setGeometry(cf.x + shift, cf.y, ControlFrameWidth(layout), cf.h);
    controlFrame_->setVisible(!layout.controlRows.empty());
    controlFrame_->lower();
    auto check = [](QButtonGroup* g, int id) {
        if (!g || !g->button(id)) return;
        const QSignalBlocker block(g->button(id));
        g->button(id)->setChecked(true);
    };
    check(modeGroup_, int(pane_.viewMode));
    check(colourGroup_, int(pane_.colour));
    check(directionGroup_, int(pane_.direction));
    if (toggle_) {
        const QSignalBlocker block(toggle_);
        toggle_->setText(Text(AccessText(pane_)));
        toggle_->setAccessibleName(toggle_->text());
        toggle_->setChecked(pane_.control.shown);
    }
    const ControlPanel& c = pane_.control;
    const FieldRect& p = layout.panelFrame;
    const bool panel = c.shown && pane_.viewMode == PaneMode::View;
    panelFrame_->setTitle(Text(c.title));
    panelFrame_->setAccessibleName(panelFrame_->title());
    panelFrame_->setGeometry(p.x, p.y, p.w, p.h);
    const int fieldW = 6 * (charWidth_ + 1), y = p.y + lineHeight_ + kMargin;
    minField_->setGeometry(p.x + 2 * kMargin, y, fieldW, lineHeight_);
    maxField_->setGeometry(p.Right() - 2 * kMargin - fieldW, y, fieldW, lineHeight_);
    bar_->setGeometry(minField_->geometry().right() + 2 * kMargin, y, maxField_->x() - minField_->geometry().right() - 4 * kMargin,
                      lineHeight_);
    minField_->setText(QString::number(c.min));
    maxField_->setText(QString::number(c.max));
    {
        const QSignalBlocker block(bar_);
        bar_->setRange(c.min, std::max(c.min, c.max));
        bar_->setValue(c.position);
    }
    bar_->setAccessibleName(Text(c.title));
    for (QWidget* w : std::initializer_list<QWidget*>{panelFrame_, minField_, maxField_, bar_}) w->setVisible(panel);
    panelFrame_->lower();
    const int buttonY = cf.Bottom() + 2 * kMargin;
    const int bw = std::max(save_->sizeHint().width(), restore_->sizeHint().width()) + 2 * charWidth_;
    save_->setGeometry(cf.x + shift, buttonY, bw, save_->sizeHint().height());
    restore_->setGeometry(cf.x + shift + bw + charWidth_, buttonY, bw, restore_->sizeHint().height());
}

bool SettingsPaneView::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn && !busy_) {
        const int id = watched->objectName().toInt();
        if (id >= kFirstFieldId) {
            QTimer::singleShot(0, this, [this, id] { OnLine([this, id] { FocusField(state_, pane_, id); }); });
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SettingsPaneView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Sync();
}

}  // namespace ombrix::gui
