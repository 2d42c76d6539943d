#include "gui/directaccess/DirectImages.h"

#include "gui/app/Images.h"

namespace ombrix::gui {

QPixmap DirectPixmap(const ProgramState& state, int number) {
    const QImage image = LibraryImage(state.imagesLibrary.get(), number);
    return image.isNull() ? QPixmap() : QPixmap::fromImage(image);
}

QIcon DirectIcon(const ProgramState& state, int number) {
    const QPixmap pixmap = DirectPixmap(state, number);
    return pixmap.isNull() ? QIcon() : QIcon(pixmap);
}

}  // namespace ombrix::gui
