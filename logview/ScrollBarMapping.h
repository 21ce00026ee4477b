#pragma once
// The scroll bar of the log box mirrors the top line, which the box keeps in 64 bits: a scroll
// bar counts in int, so a log of more lines than that is shown on it scaled, with its ends
// exact. Moves of the bar by steps (arrows, the wheel, page clicks, keys) move the box by as
// many lines as they moved the bar; a drag or a jump puts the box in proportion.

#include <algorithm>
#include <climits>
#include <cstdint>

namespace vrx::scrollbar {

inline bool scaled(std::uint64_t maxTop)
{
    return maxTop > std::uint64_t(INT_MAX);
}

inline int maximumFor(std::uint64_t maxTop)
{
    return scaled(maxTop) ? INT_MAX : int(maxTop);
}

// The bar's value for a top line. Scaled, only the ends give the bar's ends, so that the bar
// can always be moved from a line that is not at an end.
inline int valueFor(std::uint64_t top, std::uint64_t maxTop)
{
    top = std::min(top, maxTop);
    if (!scaled(maxTop))
        return int(top);
    if (top == 0)
        return 0;
    if (top == maxTop)
        return INT_MAX;
    const auto value = static_cast<std::uint64_t>(static_cast<unsigned __int128>(top) * unsigned(INT_MAX) / maxTop);
    return int(std::clamp<std::uint64_t>(value, 1, std::uint64_t(INT_MAX) - 1));
}

// The top line for a bar's value, in proportion.
inline std::uint64_t topFor(int value, std::uint64_t maxTop)
{
    if (value <= 0)
        return 0;
    if (!scaled(maxTop))
        return std::min(std::uint64_t(value), maxTop);
    if (value == INT_MAX)
        return maxTop;
    return static_cast<std::uint64_t>(static_cast<unsigned __int128>(unsigned(value)) * maxTop / unsigned(INT_MAX));
}

// The top line after the user moved the bar from one value to another, by a step or not.
inline std::uint64_t topAfterMove(std::uint64_t top, std::uint64_t maxTop, int from, int to, bool byStep)
{
    if (!scaled(maxTop) || !byStep || to <= 0 || to == INT_MAX)
        return topFor(to, maxTop);
    const std::int64_t moved = std::int64_t(to) - from;
    if (moved < 0)
        return top > std::uint64_t(-moved) ? top - std::uint64_t(-moved) : 0;
    return std::min(maxTop, top + std::uint64_t(moved));
}

} // namespace vrx::scrollbar
