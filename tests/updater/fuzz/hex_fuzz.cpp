// Fuzz target: the HEX reader never writes outside its 61440-byte buffers and
// always ends with a result code.
#include "updater/hex_image.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace zr417::updater;
    // Exactly 61440 bytes, so any write past the end is caught by ASan.
    auto buffer = std::make_unique<std::uint8_t[]>(kImageLimit);
    std::size_t length = 0;
    int result = ParseHexImage({data, size}, length, buffer.get());
    if (result != kHexOk && result != kHexTooBig) std::abort();
    if (result == kHexOk && length > kImageLimit) std::abort();
    return 0;
}
