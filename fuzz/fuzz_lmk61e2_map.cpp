// Fuzz target for the LMK61E2 register-map reader: any text, read as an
// exact-size heap copy so that a read past its end trips the address sanitizer. Every
// diagnostic is formatted; the map must hold only what the format allows.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "base/out.h"
#include "clocks/register_maps.h"

namespace {
void ignore(const char* text, uint32_t severity) { (void)std::strlen(text), (void)severity; }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::unique_ptr<char[]> text(new char[size == 0 ? 1 : size]);
    std::memcpy(text.get(), data, size);
    RegisterMap map;
    const RegisterMapType type = RegisterMapType::Lmk61e2;
    if (parseRegisterMap(type, text.get(), size, ignore, map) == kMapOk) {
        if (map.count == 0) std::abort();
        if (map.count > kLmk61e2MaxPairs) std::abort();
    }
    MapText whole;
    whole.bytes = std::move(text);
    whole.size = size;
    OutCapture sink;
    RegisterMapType detected{};
    (void)detectRegisterMapText("fuzz", whole, &detected);
    return 0;
}
