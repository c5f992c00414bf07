// The Facebook permissions answer reader on arbitrary bytes.
#include "services/http/Answers.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    (void)tx::parseFBGrantedPermissions(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
