#pragma once
// One key of the on-screen handset: its picture (normal or pressed, tinted when the
// handset is lit), or a plain button with a short text when there are no pictures.
#include <QAbstractButton>
#include <QImage>

#include "core/remote/RemoteKeys.h"

namespace ombrix::gui {

class HandsetKey : public QAbstractButton {
    Q_OBJECT
public:
    HandsetKey(const RemoteKey& key, QWidget* parent);

    const RemoteKey& Key() const { return key_; }
    void SetImages(const QImage& normal, const QImage& pressed);
    void SetIlluminated(bool on);
    QSize sizeHint() const override;

signals:
    // A repeating key went down: by the left mouse button (qtKey 0) or by that key;
    // released: it came up again before the hold began. A plain click() (the
    // accessibility action, Enter) is a single press and comes as clicked().
    void held(int qtKey, bool released);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;

private:
    bool Repeating() const { return key_.kind == RemoteKeyKind::Repeating; }
    void BeginHold(int qtKey);

    const RemoteKey& key_;
    QImage normal_, pressed_;
    QImage litNormal_, litPressed_;
    bool illuminated_ = false;
    bool holdPending_ = false;
    bool released_ = false;
    int holdKey_ = 0;
};

}  // namespace ombrix::gui
