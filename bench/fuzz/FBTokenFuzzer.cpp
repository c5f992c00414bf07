// The Facebook token answer reader on arbitrary bytes; the seeds hold members of every type.
#include "services/http/Answers.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
    (void)tx::parseFBTokenAnswer(std::string_view(reinterpret_cast<const char*>(data), size));
    return 0;
}
