// Sample movies for the library and share pages: made once per run with the ffmpeg tool in a
// Documents folder of the tour's own, with their thumbnails.
#pragma once

#include <memory>
#include <string>
#include <vector>

namespace tx {
class ShareViewController;
class Window;
} // namespace tx

namespace tx::gallery {

// The movies' paths, newest first; XDG_DATA_HOME points at the tour's folder from the first call.
const std::vector<std::string>& sampleMovies();

// The share screen on the newest sample movie, presented over an empty root screen.
std::shared_ptr<ShareViewController> presentShare(Window& window);

} // namespace tx::gallery
