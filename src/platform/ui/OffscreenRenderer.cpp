#include "platform/ui/OffscreenRenderer.h"

#include "platform/ui/GraphicsContext.h"
#include "platform/ui/View.h"

namespace tx {

ImagePtr renderView(View& view, double scale) {
    view.layoutIfNeeded();
    Rect b = view.bounds();
    ImageContext context(b.size, false, scale);
    context.context().translate(-b.origin.x, -b.origin.y);
    view.renderInContext(context.context());
    return context.image();
}

bool writeViewPNG(View& view, const std::string& path, double scale) {
    return renderView(view, scale)->writeToFile(path);
}

} // namespace tx
