#pragma once
// The files the programs read and write, and vrxlog's standard streams, on the system's own
// calls: POSIX in FilesPosix.cpp, Windows in FilesWindows.cpp, the one beside the other. Names
// are the system's bytes (on Windows the UTF-8 of its UTF-16 names). A failure is a
// std::error_code: an errno value, or a Windows error code; systemReason (SystemReason.h) words it.
//
// Standard C++ only, no Qt: the Windows half can be compiled on its own with the cross compiler.

#include <cstddef>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace vrx::files {

using Error = std::error_code;

// The command line's words after the program's name, as the system's bytes: argv on POSIX,
// the UTF-8 of the wide command line on Windows (whose argv is in the ANSI code page).
std::vector<std::string> commandLineArguments(int argc, char** argv);

// Before anything is read or written: a standard stream the caller closed (`>&-`) is held open
// on the null device in the opposite direction, so that a file opened later cannot take its
// number and receive text meant for the terminal, and writing to it fails and is reported. On
// Windows the three streams go to binary mode, so that the line ends stay as written.
void prepareStandardStreams();

// The identity of a file, to tell two names of one file apart: device and inode on POSIX,
// volume serial number and file index on Windows.
struct FileId {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    bool operator==(const FileId&) const = default;
};

// The identity of the file a path names (links followed); false when there is none.
bool idOfPath(const std::string& path, FileId& id);
// The identity of the file behind an open descriptor, only when it is a regular file.
bool idOfRegularFile(int fd, FileId& id);

// What an open file is now, to tell whether it changed since: its identity, its size, and the
// times of the last change of its bytes and of any change of it (bytes or entry), with the
// system's full precision. A rewrite that puts the modification time back still moves the
// second one, which no one can set.
struct FileState {
    FileId id;
    std::int64_t size = 0;
    std::int64_t modified = 0;  // nanoseconds since the system's epoch
    std::int64_t changed = 0;
    // Deleted while open: no name leads to it any more, or (Windows) it goes once closed.
    bool deleted = false;
    bool known = false;
    bool operator==(const FileState&) const = default;
};
// The state of the file behind an open descriptor, only when it is a regular file.
bool stateOfOpenFile(int fd, FileState& state);
// The same of the file a path names (links followed); an unknown state when there is none.
bool stateOfPath(const std::string& path, FileState& state);

// What a name names.
enum class PathKind { Missing, Regular, Folder, Other, Unknown };
PathKind kindOfPath(const std::string& path);
// The names in a folder, "." and ".." left out; none when it cannot be listed.
std::vector<std::string> folderEntries(const std::string& folder);

// What a name given for an output is.
struct Target {
    enum class Kind { Missing, Regular, Folder, Other } kind = Kind::Missing;
    Error error;               // it could not be looked at (other than being missing)
    bool readOnly = false;     // a regular file without any write permission
    std::string realPath;      // a regular file: the file itself, a link resolved
    // A regular file's owner, group and permissions (POSIX), which its replacement keeps.
    unsigned owner = 0;
    unsigned group = 0;
    unsigned mode = 0;
};
Target inspectTarget(const std::string& path);

// The folder a path's file is in ("." for a bare name).
std::string folderOf(const std::string& path);

// Whether files can be made in a folder: false with readOnly when it has no write permission
// at all (refused for root too, as for a file), or with the system's error.
bool canCreateIn(const std::string& folder, bool& readOnly, Error& error);

// An existing device or FIFO, opened for writing in place.
Error openInPlace(const std::string& path, int& fd);

// A new hidden file beside `target`, in its folder, named after it (".NAME.XXXXXX") so that a
// file left over by a power cut says where it belongs. The name always fits where the
// target's fits: a long name is cut. Removed on an interrupt until it is unregistered.
Error createTemporaryBeside(const std::string& target, std::string& temporary, int& fd);

// A file in the system's temporary folder that no name leads to: nothing is left behind, however
// the program ends. Open for reading and writing.
Error createScratchFile(int& fd);

// The failure of the C library's last stream operation, as the system gave it (on Windows the
// C library's errno says little: a closed pipe is "Invalid argument"); clearStreamError()
// comes first.
void clearStreamError();
Error streamError();

// Writes every byte, resuming after signals and partial writes.
Error writeAll(int fd, const char* data, size_t size);
// Reads up to size bytes at an offset, without moving the file's position for other reads;
// got is 0 at the end.
Error readAt(int fd, std::int64_t offset, char* data, size_t size, size_t& got);

// A temporary that is to replace `old` (or become a new file when old.kind is Missing): gets
// the old file's owner, group and permissions (or those of a new file), and is on the disk
// before its name is. The owner and group are kept where the system allows it (always for
// root); the permissions always.
Error finishReplacement(int fd, const Target& old);
Error closeFile(int fd);
// Puts a closed temporary in place of the target (a rename on POSIX; ReplaceFileW, which keeps
// the old file's security and attributes, or MoveFileExW on Windows).
Error replaceWith(const std::string& temporary, const std::string& target, bool targetExists);
void removeFile(const std::string& path);

// A pipe holds 64 KiB on Linux: a writer of large blocks waits for its reader at every one of
// them, and both keep waking each other; a wider pipe lets them run side by side. Does nothing
// where the system has no such setting or refuses it.
void widenPipe(int fd);

// Temporaries to remove when the program is interrupted (SIGINT, SIGTERM, SIGHUP, SIGPIPE; on
// Windows Ctrl+C, Ctrl+Break and closing the console). A few at a time.
void registerTemporary(const std::string& path);
void unregisterTemporary(const std::string& path);
void removeTemporariesOnInterrupt();

} // namespace vrx::files
