#pragma once
// Direct-access pictures from the image library; null when it has none.
#include <QIcon>
#include <QPixmap>

#include "core/app/Program.h"

namespace ombrix::gui {

QPixmap DirectPixmap(const ProgramState& state, int number);
QIcon DirectIcon(const ProgramState& state, int number);

}  // namespace ombrix::gui
