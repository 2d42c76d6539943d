#include "kelvanebmp.h"
#include "kelvanebmp_draw.h"

namespace kelvanebmp {

const Image *FindFrameImage(int number) {
    (void)number;
    return nullptr;
}

}  // namespace kelvanebmp
