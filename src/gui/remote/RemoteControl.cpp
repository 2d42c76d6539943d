#include "gui/remote/RemoteControl.h"

#include <QCoreApplication>
#include <QPointer>
#include <chrono>
#include <map>
#include <thread>

#include "core/projector/Messages.h"
#include "gui/app/Images.h"
#include "gui/comm/CommWindow.h"
#include "gui/remote/RemoteWindow.h"
#include "kelvanebmp.h"

namespace ombrix::gui {
namespace {

struct Registry {
    RemoteWindowTable table;
    std::map<int, QPointer<RemoteWindow>> windows;
    std::map<int, std::pair<QImage, QImage>> keyImages;
    bool keyImagesLoaded = false;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

RemoteWindowTable& RemoteControlTable() { return TheRegistry().table; }

void OpenRemoteControl(ProgramState& state, QtUi* ui, QWidget* frame, std::function<void()> projectorsChanged) {
    // The windows are owned by the communication window and only live beside it.
    CommWindow* owner = frame ? frame->findChild<CommWindow*>() : nullptr;
    if (!owner) return;
    if (!state.imagesLibrary) {
        state.imagesLibrary = state.loader.Load("kelvanebmp", nullptr);
        if (!state.imagesLibrary) ShowError(state.env, 41);
    }
    Registry& r = TheRegistry();
    const int openBefore = r.table.count;
    const int id = AddRemoteWindow(r.table, state.env, state.link.currentAddress);
    if (id == 0) return;
    RemoteWindow::Links links{ui, frame, std::move(projectorsChanged)};
    auto* window = new RemoteWindow(state, id, owner, std::move(links));
    r.windows[id] = window;
    window->Place(openBefore);
    window->show();
    window->activateWindow();
}

void CloseRemoteControls(const std::vector<int>& ids) {
    Registry& r = TheRegistry();
    for (int id : ids) {
        auto it = r.windows.find(id);
        if (it == r.windows.end() || !it->second) continue;
        QPointer<RemoteWindow> window = it->second;
        window->StopHold();
        // Its worker may wait for a box shown on this thread, so events run meanwhile.
        while (window && window->LineWorkRunning()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        if (!window) continue;
        // The table follows at once; the window itself goes once its handlers have returned.
        RemoveRemoteWindow(r.table, id);
        window->hide();
        window->deleteLater();
    }
}

void CloseAllRemoteControls() {
    const RemoteWindowTable& t = RemoteControlTable();
    std::vector<int> ids;
    for (int i = 0; i < t.count; ++i) ids.push_back(t.entries[i].id);
    CloseRemoteControls(ids);
}

void RemoteControlGone(int id) {
    Registry& r = TheRegistry();
    RemoveRemoteWindow(r.table, id);
    r.windows.erase(id);
    if (r.table.count == 0) {
        r.keyImages.clear();
        r.keyImagesLoaded = false;
    }
}

std::pair<QImage, QImage> RemoteKeyImages(Library* images, int control) {
    Registry& r = TheRegistry();
    if (!r.keyImagesLoaded && images) {
        r.keyImagesLoaded = true;
        for (const RemoteKey& k : kRemoteKeys)
            r.keyImages[k.control] = {LibraryImage(images, KELVANE_IMAGE_REMOTE_KEY(k.control)),
                                      LibraryImage(images, KELVANE_IMAGE_REMOTE_KEY_PRESSED(k.control))};
    }
    auto it = r.keyImages.find(control);
    return it == r.keyImages.end() ? std::pair<QImage, QImage>{} : it->second;
}

}  // namespace ombrix::gui
