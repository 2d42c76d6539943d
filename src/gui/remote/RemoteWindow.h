#pragma once
// One remote-control window: the handset picture with its keys, a menu, a toolbar and
// two status bars, aimed at one projector address (0 = every connected projector).
#include <QPointer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "core/app/Program.h"
#include "core/remote/RemoteKeys.h"

class QLabel;

namespace ombrix::gui {

class HandsetKey;
class QtUi;

class RemoteWindow : public QWidget {
    Q_OBJECT
public:
    struct Links {
        QtUi* ui = nullptr;
        QPointer<QWidget> frame;
        std::function<void()> projectorsChanged;
    };

    RemoteWindow(ProgramState& state, int id, QWidget* owner, Links links);
    ~RemoteWindow() override;

    int Id() const { return id_; }
    // "Send to group ...": the list of groups; AimAtGroup is what choosing one does.
    void ChooseGroup();
    void AimAtGroup(const QString& name);
    // Centred on the owner, then to the top of the screen, 20 pixels further right for
    // each window open before it.
    void Place(int openBefore);

    // A key pressed and let go (mouse, Space on the key, the accessibility action, or the
    // keyboard's own keys): sent once.
    void Press(int control);
    // A repeating key held down: by the mouse (qtKey 0) or by that keyboard key; released:
    // it is up already, so the code goes once after the repeat delay.
    void Hold(int control, int qtKey, bool released = false);
    // True while a key's line work runs.
    bool LineWorkRunning() const { return lineWork_->load(); }
    // A held key stops repeating at its next check.
    void StopHold() { *held_ = false; }
    HandsetKey* Key(int control) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    RemoteWindowEntry* Entry() const;
    void BuildMenuAndToolbar(QLayout* layout);
    void BuildHandset(QWidget* client);
    void BuildStatus(QLayout* layout);
    // Title, status bars and the lamp from the window's entry.
    void ShowEntry();
    void RunPress(KeyPress& press, HandsetKey* key, int qtKey, bool released);
    void CloseQuery();

    ProgramState& state_;
    const int id_;
    Links links_;
    QLabel* picture_ = nullptr;
    QWidget* statusBar_ = nullptr;
    QLabel* connection_ = nullptr;
    QLabel* addressLabel_ = nullptr;
    QLabel* addressPart_ = nullptr;
    // What the last key aimed at a group came to, member by member.
    QLabel* groupOutcome_ = nullptr;
    QLabel* lastKey_ = nullptr;
    QLabel* mode_ = nullptr;
    bool busy_ = false;
    bool told47_ = false;
    int pair_ = 0;  // the repeating pair the arrow keys reach
    // Shared with the worker and the release watch, which may outlive a window closed at exit.
    std::shared_ptr<std::atomic<bool>> held_ = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> lineWork_ = std::make_shared<std::atomic<bool>>(false);
};

}  // namespace ombrix::gui
