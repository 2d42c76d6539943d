#pragma once
// SIGINT and SIGTERM end the program the way File → Exit does. The handler only writes
// a byte to a socket pair; the GUI thread reads it and asks the frame to exit.
#include <QObject>

class QSocketNotifier;

namespace ombrix::gui {

// First thing in main(). Until an ExitSignalNotifier exists, a signal ends the process
// at once: nothing has been loaded that would need saving.
bool InstallExitSignalHandlers();

class ExitSignalNotifier : public QObject {
    Q_OBJECT
public:
    explicit ExitSignalNotifier(QObject* parent = nullptr);
    ~ExitSignalNotifier() override;

signals:
    void exitRequested();

private:
    void Drain();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace ombrix::gui
