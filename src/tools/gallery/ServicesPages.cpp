// The progress overlay of the service calls, over a plain screen.
#include "Gallery.h"
#include "platform/foundation/Translation.h"

#include "services/hud/MBProgressHUD.h"

namespace tx::gallery {
namespace {

GalleryRegistration uploading({"hud-uploading", [](Window& window) {
                                   auto root = std::make_shared<View>(window.bounds());
                                   root->setBackgroundColor(Color::hex(0x3b5998));
                                   window.addSubview(root);
                                   auto hud = MBProgressHUD::showHUDAddedTo(window, true);
                                   hud->setLabelText(_("Uploading..."));
                               }});

} // namespace
} // namespace tx::gallery
