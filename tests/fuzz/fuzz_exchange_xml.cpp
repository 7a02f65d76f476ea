// The XML document inside an exchange file: the input is packed into a valid container
// first, so that the mutations reach the parser, the item walk and the value conversions
// instead of ending in zlib's checksum.
#include "ZvFuzzHarness.h"
#include "interchange/pU_XmlTry.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray xml(reinterpret_cast<const char*>(data), qsizetype(size));
    zvfuzz::RestoreAndImport(zv::PackExchangeContainer(xml));
    return 0;
}
