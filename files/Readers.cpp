#include "files/Readers.h"

#include "files/ReadFile.h"

#include <cerrno>

namespace vrx {

LogRead readLog(const std::string& path)
{
    return streamLog(path, {});
}

LogRead streamLog(const std::string& path, const LogTextSink& sink, size_t pieceSize, LongLines longLines)
{
    RegularFile file(path);
    return streamLog(file, path, sink, pieceSize, longLines);
}

LogRead streamLogUtf8(const std::string& path, LineEnds lineEnds, const TextBytesSink& sink, size_t pieceSize,
                      LongLines longLines)
{
    RegularFile file(path);
    return streamLogUtf8(file, path, lineEnds, sink, pieceSize, longLines);
}

LogRead checkLog(const std::string& path)
{
    RegularFile file(path);
    return checkLog(file, path);
}

std::optional<std::string> readFileStart(const std::string& path, size_t most)
{
    RegularFile file(path);
    if (!file.isOpen())
        return std::nullopt;
    std::string bytes(most, '\0');
    size_t done = 0;
    while (done < most) {
        const std::int64_t got = file.read(bytes.data() + done, most - done);
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        done += size_t(got);
    }
    bytes.resize(done);
    return bytes;
}

StatusRead readStatus(const std::string& path)
{
    StatusRead result;
    RegularFile file(path);
    if (file.error() == ENOENT) {
        result.failure = StatusFailure::NotFound;
        return result;
    }
    if (file.notRegular() && !file.isFolder()) {
        result.failure = StatusFailure::NotRegular;
        result.fileKind = file.kind();
        return result;
    }
    if (!file.isOpen()) {
        result.failure = StatusFailure::Unreadable;
        return result;
    }
    return readStatus(static_cast<ScanInput&>(file));
}

} // namespace vrx
