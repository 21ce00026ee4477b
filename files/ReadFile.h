#pragma once
// Opening a file for reading only when it is a regular file, for the log and status readers;
// and standard input as a log, where it is a file or a pipe. The system's calls are in
// ReadFile.cpp, each POSIX call beside its Windows counterpart.

#include "core/LogScanner.h"

#include <cstdint>
#include <string>

namespace vrx {

// What a file that is no regular file is, for messages ("a folder", "a FIFO (named pipe)").
enum class FileKind { Regular, Folder, Fifo, CharacterDevice, BlockDevice, Socket, Other };
std::string fileKindText(FileKind kind);

// A file opened for reading only when it is a regular file. Anything else is refused before it
// is read: a FIFO or a device such as /dev/zero would block or never end. The file is opened
// without blocking, so that even a FIFO put in place after the check cannot hold the program.
// On Windows it is opened in binary mode, shared for writing, renaming and deleting too: a log
// stays open while it is shown, and the program that writes it, or the user, must still be able
// to replace or remove it meanwhile.
//
// A descriptor open already (standard input) is taken as the caller gave it: a regular file
// is read from where it stands (the caller's position, not its start), a pipe as it comes;
// anything else (a terminal, a device) is refused. It is not closed.
class RegularFile : public ScanInput {
public:
    struct DescriptorTag {};
    static constexpr DescriptorTag Descriptor{};

    RegularFile(DescriptorTag, int fd);
    explicit RegularFile(const std::string& path);
    ~RegularFile() override;
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;

    bool isOpen() const override { return m_fd >= 0; }
    // Hands the open descriptor over to the caller, who closes it; the object is closed then.
    int release();
    // The open descriptor, still the object's (or its caller's) to close.
    int descriptor() const { return m_fd; }
    int error() const { return m_error; }       // errno of a failed stat or open, else 0
    bool notRegular() const { return !isOpen() && m_error == 0; }
    bool isFolder() const { return m_kind == FileKind::Folder; }
    std::string kind() const { return fileKindText(m_kind); }
    std::int64_t size() const { return m_size; }
    // Why it was not opened, one sentence for a message.
    std::string openFailure() const override;

    // Bytes read, 0 at the end, -1 on an error (errno set).
    std::int64_t read(char* data, size_t size) override;
    // Bytes left to the end of a regular file as it was when opened; 0 for a pipe.
    std::int64_t remaining() const override { return m_size > m_offset ? m_size - m_offset : 0; }
    // Whether it can be read again from an earlier place: a regular file, not a pipe.
    bool seekable() const override { return m_seekable; }
    // Where the next read starts, counted from the file's start for a regular file, from where
    // reading began for a pipe.
    std::int64_t offset() const override { return m_offset; }
    // Reads on from an earlier (or later) place of a regular file; false with errno set.
    bool seekTo(std::int64_t offset) override;

private:
    int m_fd = -1;
    int m_error = 0;
    FileKind m_kind = FileKind::Other;
    std::int64_t m_size = 0;
    std::int64_t m_offset = 0;
    bool m_seekable = false;
    bool m_borrowed = false;
};

} // namespace vrx
