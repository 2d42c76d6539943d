#pragma once
// The program's one top-level window: menus, toolbar and status bar around an MDI area
// that will hold the working windows.
#include <QMainWindow>

#include "core/app/Program.h"

class QMdiArea;

namespace ombrix::gui {

class MainFrame : public QMainWindow {
    Q_OBJECT
public:
    // Loads comm.cfg: the line settings belong to the frame's lifetime.
    explicit MainFrame(ProgramState& state, QWidget* parent = nullptr);

    QMdiArea* MdiArea() const { return mdi_; }

public slots:
    // File → Exit, the close box and SIGINT/SIGTERM all end here.
    void Exit();
    void OpenCommunicationSetup();
    void OpenAbout();

signals:
    // The frame has closed for good: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* AddCommand(QMenu* menu, const QString& text, int commandId, const QKeySequence& key);

    ProgramState& state_;
    QMdiArea* mdi_ = nullptr;
};

}  // namespace ombrix::gui
