#pragma once
// The core's readers on files named by path (the system's bytes: on Windows the UTF-8 of its
// UTF-16 names). Only a regular file is read: a FIFO or a device would block or never end.

#include "core/LogReader.h"
#include "core/StatusFile.h"

#include <optional>
#include <string>

namespace vrx {

// The whole display text of a log file (Windows-1252, lines joined by CR LF). Streams the file;
// memory is about the size of the result.
LogRead readLog(const std::string& path);
LogRead streamLog(const std::string& path, const LogTextSink& sink, size_t pieceSize = 4 << 20,
                  LongLines longLines = LongLines::Held);
LogRead streamLogUtf8(const std::string& path, LineEnds lineEnds, const TextBytesSink& sink,
                      size_t pieceSize = 1 << 18, LongLines longLines = LongLines::Held);
LogRead checkLog(const std::string& path);

// The first `most` bytes of a regular file (the version data a download left); nothing when
// it is no regular file or cannot be read.
std::optional<std::string> readFileStart(const std::string& path, size_t most);

// A test status file: NotFound when no file has the name, NotRegular (with the kind) for a FIFO,
// a device or a socket, Unreadable when it cannot be opened or read on.
StatusRead readStatus(const std::string& path);

} // namespace vrx
