#pragma once
// The title bar above a block list; its caption is what the listing of that list names.
#include <QLabel>

namespace ombrix::gui {

class PaneTitle : public QLabel {
    Q_OBJECT
public:
    explicit PaneTitle(QWidget* parent = nullptr);
    void SetCaption(const QString& caption);
    QString Caption() const { return text(); }
};

}  // namespace ombrix::gui
