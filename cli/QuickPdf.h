#pragma once
// Two speed-ups for `vrxlog pdf`, which draws thousands of pages through Qt's PDF writer in a
// process that does nothing else. Both act on the whole process, so they belong to vrxlog
// alone; the build leaves them out with -DVRXLOG_QUICK_PDF=OFF.
//
// Measured on the 2,084-page log of bench/compare-tools.py, CPU time of one run: 1.0 s with
// both, 1.6 s with neither; the quicker compression saves about 0.45 s of it and the kept
// blocks about 0.15 s. The PDF grows from 5.57 to 7.05 MB. The target is under 1 s.
//
// The quicker compression: this program's deflateInit_ takes the place of zlib's for Qt's PDF
// writer (the dynamic linker binds Qt's call to the executable's definition), and a stream
// that asks for zlib's default level is compressed at level 3. A page of log text is some
// 50 KB of glyph positions, and deflating them at the default level takes as long as
// producing them. It needs an ELF system and a Qt that uses the system's zlib.

namespace vrx {

// Keeps freed blocks of up to tens of megabytes in the heap for the rest of the run, instead
// of giving them back: Qt's PDF writer compresses every page through two fresh 10 MB buffers,
// and with glibc's usual settings each of them was faulted in anew.
void keepLargeBlocks();

} // namespace vrx
