#include "print/PageCompression.h"

#include <atomic>

#if defined(__ELF__)
#include <zlib.h>
#define VRX_QUICK_PAGES 1
#endif

namespace vrx {

namespace {

std::atomic<int> quickScopes{0};

} // namespace

QuickPageCompression::QuickPageCompression()
{
    quickScopes.fetch_add(1, std::memory_order_relaxed);
}

QuickPageCompression::~QuickPageCompression()
{
    quickScopes.fetch_sub(1, std::memory_order_relaxed);
}

bool QuickPageCompression::active()
{
#ifdef VRX_QUICK_PAGES
    return quickScopes.load(std::memory_order_relaxed) > 0;
#else
    return false;
#endif
}

} // namespace vrx

#ifdef VRX_QUICK_PAGES
// zlib's deflateInit() is a macro for this function; the dynamic linker binds Qt's call to the
// program's definition before the library's. It does what zlib's does, with zlib's own
// defaults, only the level may differ.
extern "C" int deflateInit_(z_streamp stream, int level, const char* version, int streamSize)
{
    constexpr int QuickLevel = 3;
    constexpr int DefaultMemLevel = 8;
    if (level == Z_DEFAULT_COMPRESSION && vrx::QuickPageCompression::active())
        level = QuickLevel;
    return deflateInit2_(stream, level, Z_DEFLATED, MAX_WBITS, DefaultMemLevel, Z_DEFAULT_STRATEGY, version,
                         streamSize);
}
#endif
