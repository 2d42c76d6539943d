#include "gui/remote/HandsetKey.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTimer>

namespace ombrix::gui {
namespace {

QImage Lit(const QImage& image) {
    if (image.isNull()) return {};
    QImage out = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < out.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < out.width(); ++x) row[x] &= kIlluminationMask;
    }
    return out;
}

}  // namespace

HandsetKey::HandsetKey(const RemoteKey& key, QWidget* parent) : QAbstractButton(parent), key_(key) {
    setObjectName(QStringLiteral("key%1").arg(key.control));
    setText(QString::fromLatin1(key.face));
    setAccessibleName(QString::fromLatin1(key.legend));
    setToolTip(QString::fromLatin1(key.legend));
    setFocusPolicy(Qt::StrongFocus);
    setGeometry(key.x, key.y, key.width, key.height);
}

void HandsetKey::SetImages(const QImage& normal, const QImage& pressed) {
    normal_ = normal;
    pressed_ = pressed;
    litNormal_ = Lit(normal);
    litPressed_ = Lit(pressed);
    update();
}

void HandsetKey::SetIlluminated(bool on) {
    illuminated_ = on;
    update();
}

QSize HandsetKey::sizeHint() const { return {key_.width, key_.height}; }

void HandsetKey::paintEvent(QPaintEvent*) {
    const QImage& image = isDown() ? (illuminated_ ? litPressed_ : pressed_) : (illuminated_ ? litNormal_ : normal_);
    if (image.isNull()) {
        QStylePainter painter(this);
        QStyleOptionButton option;
        option.initFrom(this);
        option.text = text();
        option.state |= isDown() ? QStyle::State_Sunken : QStyle::State_Raised;
        if (illuminated_) option.palette.setColor(QPalette::Button, QColor(0xFF, 0xFF, 0xA0));
        painter.drawControl(QStyle::CE_PushButton, option);
        return;
    }
    QPainter painter(this);
    painter.drawImage(rect(), image);
    if (hasFocus()) {
        painter.setPen(QPen(QColor(0x30, 0x90, 0xFF), 1, Qt::DotLine));
        painter.drawRect(rect().adjusted(1, 1, -2, -2));
    }
}

// The hold begins once the press has been handled, so a release that follows at once (a
// quick click) is seen first and the key is sent once instead of waiting for a release
// that has already gone by.
void HandsetKey::BeginHold(int qtKey) {
    setDown(true);
    holdKey_ = qtKey;
    released_ = false;
    if (holdPending_) return;
    holdPending_ = true;
    QTimer::singleShot(0, this, [this] {
        holdPending_ = false;
        const QPointer<HandsetKey> self(this);
        emit held(holdKey_, released_);
        if (self) setDown(false);
    });
}

void HandsetKey::mousePressEvent(QMouseEvent* event) {
    if (!Repeating() || event->button() != Qt::LeftButton) {
        QAbstractButton::mousePressEvent(event);
        return;
    }
    setFocus(Qt::MouseFocusReason);
    BeginHold(0);
}

void HandsetKey::mouseReleaseEvent(QMouseEvent* event) {
    if (!Repeating()) {
        QAbstractButton::mouseReleaseEvent(event);
        return;
    }
    if (holdPending_ && holdKey_ == 0 && event->button() == Qt::LeftButton) released_ = true;
}

void HandsetKey::keyPressEvent(QKeyEvent* event) {
    const int k = event->key();
    // Enter on a focused repeating key sends it once, as its accessibility action does.
    if (Repeating() && (k == Qt::Key_Return || k == Qt::Key_Enter)) {
        if (!event->isAutoRepeat()) click();
        return;
    }
    // Digits, arrows and Enter are the handset's own keys: the window takes them.
    if ((k >= Qt::Key_0 && k <= Qt::Key_9) || k == Qt::Key_Left || k == Qt::Key_Right || k == Qt::Key_Up ||
        k == Qt::Key_Down || k == Qt::Key_Return || k == Qt::Key_Enter) {
        event->ignore();
        return;
    }
    if (Repeating() && event->key() == Qt::Key_Space) {
        if (!event->isAutoRepeat()) BeginHold(Qt::Key_Space);
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

void HandsetKey::keyReleaseEvent(QKeyEvent* event) {
    if (Repeating() && (event->key() == Qt::Key_Space || event->key() == Qt::Key_Return ||
                        event->key() == Qt::Key_Enter)) {
        if (event->key() == Qt::Key_Space && holdPending_ && holdKey_ == Qt::Key_Space && !event->isAutoRepeat())
            released_ = true;
        return;
    }
    QAbstractButton::keyReleaseEvent(event);
}

}  // namespace ombrix::gui
