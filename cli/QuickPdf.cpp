#include "cli/QuickPdf.h"

#include <malloc.h>
#include <zlib.h>

namespace vrx {

void keepLargeBlocks()
{
    // Up to 32 MB a block comes from the heap (glibc's upper limit for it), and up to 64 MB
    // free at the heap's top stays there; glibc's defaults are 128 KiB for both.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 64 * 1024 * 1024);
}

} // namespace vrx

// zlib's deflateInit() is a macro for this function. It does what zlib's does, with zlib's own
// defaults; only the default level is a quicker one.
extern "C" int deflateInit_(z_streamp stream, int level, const char* version, int streamSize)
{
    constexpr int QuickLevel = 3;
    constexpr int DefaultMemLevel = 8;
    if (level == Z_DEFAULT_COMPRESSION)
        level = QuickLevel;
    return deflateInit2_(stream, level, Z_DEFLATED, MAX_WBITS, DefaultMemLevel, Z_DEFAULT_STRATEGY, version,
                         streamSize);
}
