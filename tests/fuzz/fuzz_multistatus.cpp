// A server's multistatus answer as it comes, through the sync's reader. What must hold
// whatever the bytes: nothing crashes, hangs or leaks; a refusal is a clear error; what is
// read keeps within the reader's bounds. A broken rule aborts.
#include "store/ZvError.h"
#include "sync/ZvDavXml.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void broken(const char* rule)
{
    std::fprintf(stderr, "fuzz_multistatus: %s\n", rule);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        const zv::TZvMultistatus m = zv::ParseMultistatus(bytes);
        for (const zv::TZvDavResponse& r : m.responses) {
            if (r.href.toUtf8().size() > zv::TZvDavLimits::kTextBytes) broken("an href past its bound");
            if (r.props.calendarData.size() > zv::TZvDavLimits::kItemBytes) broken("an item past its bound");
            if (r.props.oversized && r.props.hasCalendarData) broken("an oversized item with data");
            if (r.props.components && r.props.components->size() > 64) broken("too many components");
        }
    } catch (const zv::EZvError& e) {
        if (e.message().isEmpty()) broken("a refusal without a reason");
    }
    return 0;
}
