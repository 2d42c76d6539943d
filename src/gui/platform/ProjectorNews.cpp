#include "gui/platform/ProjectorNews.h"

namespace ombrix::gui {

ProjectorNews& ProjectorNews::Instance() {
    static ProjectorNews news;
    return news;
}

}  // namespace ombrix::gui
