// Interface first; the reader and writer follow.
#include "formats/intel_hex.h"

void freeIntelHexImage(IntelHexImage*) {}
HexReadResult readIntelHex(HexTextSource&, IntelHexImagePtr& image) {
    image.reset();
    return HexReadResult::ReadFailed;
}
HexReadResult parseIntelHexText(std::string_view, IntelHexImagePtr& image) {
    image.reset();
    return HexReadResult::ReadFailed;
}
HexReadResult readIntelHexFile(const char*, IntelHexImagePtr& image) {
    image.reset();
    return HexReadResult::OpenFailed;
}
const char* hexErrorText(uint32_t) { return "Unknown error code!"; }
void printIntelHexSummary(const IntelHexImage&) {}
bool writeIntelHex(const IntelHexImage&, HexTextSink&) { return false; }
bool formatIntelHexText(const IntelHexImage&, std::string&) { return false; }
HexWriteResult writeIntelHexFile(const char*, const IntelHexImage&) { return HexWriteResult::OpenFailed; }
bool parseHexByte(const char*, uint8_t&) { return false; }
