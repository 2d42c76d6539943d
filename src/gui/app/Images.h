#pragma once
// Pictures from the image library, by number. Without the library (or the number) the
// result is null and windows simply go without pictures.
#include <QIcon>
#include <QImage>

namespace ombrix {
class Library;
}

namespace ombrix::gui {

QImage LibraryImage(Library* images, int number);
// One button picture of a toolbar strip; null when the strip has no such slot.
QIcon ToolbarIcon(const QImage& strip, int slot);

}  // namespace ombrix::gui
