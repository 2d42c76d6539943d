#pragma once
// The frame's MDI area, with a picture stretched over its whole background.
#include <QImage>
#include <QMdiArea>

namespace ombrix::gui {

class MdiClient : public QMdiArea {
    Q_OBJECT
public:
    // A null picture leaves the plain background.
    explicit MdiClient(const QImage& background, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage background_;
};

}  // namespace ombrix::gui
