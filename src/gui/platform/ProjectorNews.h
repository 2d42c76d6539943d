#pragma once
// Word between windows that do not know each other: a key from a handset reached some
// projectors, so a window that shows what they hold (the comparison) reads them again.
#include <QList>
#include <QObject>

namespace ombrix::gui {

class ProjectorNews : public QObject {
    Q_OBJECT
public:
    static ProjectorNews& Instance();

signals:
    void keysSent(const QList<int>& addresses);
};

}  // namespace ombrix::gui
