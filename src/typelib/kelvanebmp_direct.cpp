#include "kelvanebmp.h"
#include "kelvanebmp_draw.h"

namespace kelvanebmp {

const Image *FindDirectAccessImage(int number) {
    (void)number;
    return nullptr;
}

}  // namespace kelvanebmp
