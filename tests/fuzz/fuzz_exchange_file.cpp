// The bytes of an exchange file as they come: the 8-byte length, the zlib stream and
// whatever it inflates to, handed to restore and import.
#include "ZvFuzzHarness.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    zvfuzz::RestoreAndImport(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    return 0;
}
