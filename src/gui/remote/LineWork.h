#pragma once
// Line work of a remote-control key runs on a worker while the GUI thread keeps painting.
// Input is held back meanwhile, except that the release of a held key is still seen.
#include <QObject>
#include <atomic>
#include <functional>
#include <memory>

namespace ombrix::gui {

// Clears `down` when the held key comes up: the left mouse button (qtKey 0) or that
// keyboard key; also when the application loses the focus, so a lost release cannot
// leave a key repeating.
class KeyReleaseWatch : public QObject {
    Q_OBJECT
public:
    KeyReleaseWatch(std::shared_ptr<std::atomic<bool>> down, int qtKey) : down_(std::move(down)), qtKey_(qtKey) {}
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::shared_ptr<std::atomic<bool>> down_;
    int qtKey_;
};

// Runs work on a worker thread and returns when it is done; meanwhile events are served
// here with user input dropped. watcher, when given, sees every event first.
void RunLineWork(const std::function<void()>& work, QObject* watcher = nullptr);

}  // namespace ombrix::gui
