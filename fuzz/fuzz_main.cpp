// The entry libFuzzer calls, for the harness this program is built for (TABVORO_HARNESS).

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    tabvoro::fuzz::TABVORO_HARNESS(std::string_view(reinterpret_cast<const char *>(data), size));
    return 0;
}
