#include "gui/app/Images.h"

#include <QPixmap>

#include "core/platform/Library.h"
#include "kelvanebmp.h"

namespace ombrix::gui {

QImage LibraryImage(Library* images, int number) {
    if (!images) return {};
    auto fn = reinterpret_cast<decltype(&Kelvane_Image)>(images->Symbol("Kelvane_Image"));
    if (!fn) return {};
    int width = 0, height = 0;
    const unsigned int* pixels = nullptr;
    if (!fn(number, &width, &height, &pixels) || !pixels || width <= 0 || height <= 0) return {};
    // The pixels belong to the library, which may be unloaded before the picture is.
    return QImage(reinterpret_cast<const uchar*>(pixels), width, height, width * 4, QImage::Format_ARGB32)
        .copy();
}

QIcon ToolbarIcon(const QImage& strip, int slot) {
    const QRect rect(slot * KELVANE_TOOLBAR_SLOT_WIDTH, 0, KELVANE_TOOLBAR_SLOT_WIDTH, KELVANE_TOOLBAR_SLOT_HEIGHT);
    if (strip.isNull() || slot < 0 || !strip.rect().contains(rect)) return {};
    return QIcon(QPixmap::fromImage(strip.copy(rect)));
}

}  // namespace ombrix::gui
