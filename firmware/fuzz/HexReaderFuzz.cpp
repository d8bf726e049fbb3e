#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "firmware/HexReader.h"

// Reads arbitrary text as an update file, whole and cut into pieces at places taken from the
// text itself: the sanitizers watch every read, and both ways must give the same outcome.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quillon::firmware;
    const char* text = reinterpret_cast<const char*>(data);

    FirmwareImage whole;
    const HexReadResult wholeResult = ReadUpdateData(text, size, whole);

    FirmwareImage pieces;
    HexFileParser parser(pieces);
    size_t offset = 0;
    size_t step = size > 0 ? size_t(data[0] % 23) + 1 : 1;
    while (offset < size) {
        const size_t length = step < size - offset ? step : size - offset;
        parser.Feed(text + offset, length);
        offset += length;
        step = step * 5 % 61 + 1;
    }
    const HexReadResult piecesResult = parser.Finish();

    if (wholeResult.Code != piecesResult.Code || wholeResult.Line != piecesResult.Line ||
        wholeResult.Problem != piecesResult.Problem || (wholeResult.Code == 0 && whole != pieces)) {
        std::abort();
    }
    return 0;
}
