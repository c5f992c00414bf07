// Sample movies for the library and share pages: made once per run with the ffmpeg tool in a
// Documents folder of the tour's own, with their thumbnails.
#pragma once

#include <string>
#include <vector>

namespace tx::gallery {

// The movies' paths, newest first; XDG_DATA_HOME points at the tour's folder from the first call.
const std::vector<std::string>& sampleMovies();

} // namespace tx::gallery
