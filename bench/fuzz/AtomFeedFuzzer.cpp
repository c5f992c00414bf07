// The feed reader on arbitrary bytes.
#include "services/youtube/GDataServiceGoogleYouTube.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    std::string error;
    auto feed =
        tx::parseYouTubeFeed(std::string_view(reinterpret_cast<const char*>(data), size), &error);
    if (feed) {
        for (const auto& entry : feed->entries) {
            if (entry->mediaGroup) {
                (void)entry->mediaGroup->mediaContentWithFormatNumber(5);
            }
        }
    }
    return 0;
}
