// Arbitrary bytes as a help text: the RTF reader must read any input to an end without faults.
#include "base/RtfReader.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const cq::RtfDocument document = cq::ReadRtf(bytes);
    (void)document.plainText();
    return 0;
}
