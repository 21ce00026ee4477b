// The files the programs read and write, on POSIX systems. The Windows counterpart is
// FilesWindows.cpp.

#include "files/Files.h"
#include "files/ReadFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vrx::files {

namespace {

Error lastError()
{
    return Error(errno, std::generic_category());
}

// Temporaries the signal handler removes: a fixed table, since a handler may neither allocate
// nor take locks.
struct TemporarySlot {
    char path[PATH_MAX];
    volatile std::sig_atomic_t used;
};
std::array<TemporarySlot, 4> temporaries{};

extern "C" void removeTemporariesAndDie(int signal)
{
    for (TemporarySlot& slot : temporaries) {
        if (slot.used)
            ::unlink(slot.path);
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

// No write permission bit at all: read-only for everyone, root included. Root passes every
// permission check of the system, so the bits themselves decide, as they do for a user.
bool hasNoWriteBit(mode_t mode)
{
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

mode_t currentUmask()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The longest name a folder takes.
size_t longestName(const std::string& folder)
{
    const long max = ::pathconf(folder.c_str(), _PC_NAME_MAX);
    return max > 0 ? static_cast<size_t>(max) : 255;
}

// The first `length` bytes of a name, not cutting a UTF-8 sequence in two.
std::string cutName(const std::string& name, size_t length)
{
    if (name.size() <= length)
        return name;
    while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80)
        --length;
    return name.substr(0, length);
}

} // namespace

std::vector<std::string> commandLineArguments(int argc, char** argv)
{
    std::vector<std::string> words;
    for (int i = 1; i < argc; ++i)
        words.emplace_back(argv[i]);
    return words;
}

void prepareStandardStreams()
{
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int held = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
            if (held >= 0 && held != fd) {
                ::dup2(held, fd);
                ::close(held);
            }
        }
    }
}

bool idOfPath(const std::string& path, FileId& id)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return true;
}

bool idOfRegularFile(int fd, FileId& id)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    return true;
}

namespace {

std::int64_t nanoseconds(const timespec& time)
{
    return std::int64_t(time.tv_sec) * 1000000000 + time.tv_nsec;
}

} // namespace

namespace {

bool stateOf(const struct stat& st, FileState& state)
{
    if (!S_ISREG(st.st_mode))
        return false;
    state.id = FileId{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
    state.size = st.st_size;
#if defined(__APPLE__)
    state.modified = nanoseconds(st.st_mtimespec);
    state.changed = nanoseconds(st.st_ctimespec);
#else
    state.modified = nanoseconds(st.st_mtim);
    state.changed = nanoseconds(st.st_ctim);
#endif
    state.deleted = st.st_nlink == 0;
    state.known = true;
    return true;
}

} // namespace

bool stateOfOpenFile(int fd, FileState& state)
{
    state = FileState{};
    struct stat st {};
    return ::fstat(fd, &st) == 0 && stateOf(st, state);
}

bool stateOfPath(const std::string& path, FileState& state)
{
    state = FileState{};
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && stateOf(st, state);
}

PathKind kindOfPath(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? PathKind::Missing : PathKind::Unknown;
    return S_ISREG(st.st_mode) ? PathKind::Regular : S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::Other;
}

std::vector<std::string> folderEntries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name(entry->d_name);
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    return names;
}

Target inspectTarget(const std::string& path)
{
    Target target;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno != ENOENT)
            target.error = lastError();
        return target;
    }
    if (S_ISDIR(st.st_mode)) {
        target.kind = Target::Kind::Folder;
        return target;
    }
    if (!S_ISREG(st.st_mode)) {
        target.kind = Target::Kind::Other;
        return target;
    }
    target.kind = Target::Kind::Regular;
    target.readOnly = hasNoWriteBit(st.st_mode);
    target.owner = st.st_uid;
    target.group = st.st_gid;
    target.mode = st.st_mode & 07777;
    if (!target.readOnly && ::access(path.c_str(), W_OK) != 0) {
        target.error = lastError();
        return target;
    }
    // Through a link, the file it names is replaced, in its own folder.
    char resolved[PATH_MAX];
    target.realPath = ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
    return target;
}

std::string folderOf(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

bool canCreateIn(const std::string& folder, bool& readOnly, Error& error)
{
    readOnly = false;
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        error = lastError();
        return false;
    }
    if (hasNoWriteBit(st.st_mode)) {
        readOnly = true;
        return false;
    }
    if (::access(folder.c_str(), W_OK) != 0) {
        error = lastError();
        return false;
    }
    return true;
}

Error openInPlace(const std::string& path, int& fd)
{
    do
        fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    return fd >= 0 ? Error() : lastError();
}

Error createTemporaryBeside(const std::string& target, std::string& temporary, int& fd)
{
    const size_t slash = target.rfind('/');
    const std::string folder = folderOf(target);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    // "." + name + ".XXXXXX" is 8 bytes longer than the name: near the system's limits the
    // name is cut, so that the temporary fits wherever the target fits.
    constexpr size_t Added = 8;
    size_t room = longestName(folder) > Added ? longestName(folder) - Added : 1;
    if (target.size() + Added >= PATH_MAX)
        room = std::min(room, name.size() > Added ? name.size() - Added : 1);
    std::string pattern = (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + '.'
        + cutName(name, room) + ".XXXXXX";
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return lastError();
    temporary = pattern;
    registerTemporary(temporary);
    return {};
}

Error createScratchFile(int& fd)
{
    const char* folder = std::getenv("TMPDIR");
    std::string base = folder && *folder ? folder : "/tmp";
#ifdef O_TMPFILE
    fd = ::open(base.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return {};
#endif
    // Without O_TMPFILE (or a file system that does not have it): a file of our own whose name
    // goes at once.
    std::string pattern = base + "/.vrxlog-XXXXXX";
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0)
        return lastError();
    ::unlink(pattern.c_str());
    return {};
}

void clearStreamError()
{
    errno = 0;
}

Error streamError()
{
    return Error(errno ? errno : EIO, std::generic_category());
}

Error writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t done = ::write(fd, data, size);
        if (done < 0) {
            if (errno == EINTR)
                continue;
            return lastError();
        }
        data += done;
        size -= static_cast<size_t>(done);
    }
    return {};
}

Error readAt(int fd, std::int64_t offset, char* data, size_t size, size_t& got)
{
    for (;;) {
        const ssize_t n = ::pread(fd, data, size, static_cast<off_t>(offset));
        if (n >= 0) {
            got = static_cast<size_t>(n);
            return {};
        }
        if (errno != EINTR)
            return lastError();
    }
}

Error finishReplacement(int fd, const Target& old)
{
    mode_t mode = 0666 & ~currentUmask();
    if (old.kind == Target::Kind::Regular) {
        // Root makes the file its owner's again; a user can give it at least the old group, if
        // a member of it. Where the system refuses, the file is the user's, as any new file.
        if (::fchown(fd, old.owner, old.group) != 0)
            (void)::fchown(fd, static_cast<uid_t>(-1), old.group);
        mode = old.mode;   // after the owner: a change of owner drops set-user-ID bits
    }
    if (::fchmod(fd, mode) != 0 || ::fsync(fd) != 0)
        return lastError();
    return {};
}

Error closeFile(int fd)
{
    return ::close(fd) == 0 ? Error() : lastError();
}

Error replaceWith(const std::string& temporary, const std::string& target, bool)
{
    if (::rename(temporary.c_str(), target.c_str()) != 0)
        return lastError();
    unregisterTemporary(temporary);
    return {};
}

void removeFile(const std::string& path)
{
    unregisterTemporary(path);
    ::unlink(path.c_str());
}

void widenPipe(int fd)
{
#ifdef F_SETPIPE_SZ
    constexpr int PipeSize = 1 << 20;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISFIFO(st.st_mode) && ::fcntl(fd, F_GETPIPE_SZ) < PipeSize)
        ::fcntl(fd, F_SETPIPE_SZ, PipeSize);
#else
    (void)fd;
#endif
}

void registerTemporary(const std::string& path)
{
    for (TemporarySlot& slot : temporaries) {
        if (!slot.used && path.size() < sizeof slot.path) {
            std::memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.used = 1;
            return;
        }
    }
}

void unregisterTemporary(const std::string& path)
{
    for (TemporarySlot& slot : temporaries) {
        if (slot.used && path == slot.path)
            slot.used = 0;
    }
}

void removeTemporariesOnInterrupt()
{
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
        struct sigaction action {};
        action.sa_handler = removeTemporariesAndDie;
        sigemptyset(&action.sa_mask);
        // A signal ignored by the caller (nohup, a shell's trap) stays ignored.
        struct sigaction previous {};
        if (::sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
            continue;
        ::sigaction(signal, &action, nullptr);
    }
}

} // namespace vrx::files

// ---- Reading ----

namespace vrx {

namespace {

FileKind kindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return FileKind::Regular;
    if (S_ISDIR(mode))
        return FileKind::Folder;
    if (S_ISFIFO(mode))
        return FileKind::Fifo;
    if (S_ISCHR(mode))
        return FileKind::CharacterDevice;
    if (S_ISBLK(mode))
        return FileKind::BlockDevice;
    if (S_ISSOCK(mode))
        return FileKind::Socket;
    return FileKind::Other;
}

} // namespace

RegularFile::RegularFile(DescriptorTag, int fd)
{
    m_borrowed = true;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        m_error = errno;
        return;
    }
    m_kind = kindOf(info.st_mode);
    if (S_ISREG(info.st_mode)) {
        const off_t at = ::lseek(fd, 0, SEEK_CUR);
        m_seekable = at >= 0;
        m_offset = std::max<std::int64_t>(at, 0);
        m_size = info.st_size;
    } else if (!S_ISFIFO(info.st_mode) && !S_ISSOCK(info.st_mode)) {
        return;
    }
    m_fd = fd;
}

RegularFile::RegularFile(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        m_error = errno;
        return;
    }
    m_kind = kindOf(info.st_mode);
    if (!S_ISREG(info.st_mode))
        return;
    do
        m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    while (m_fd < 0 && errno == EINTR);
    if (m_fd < 0) {
        m_error = errno;
        return;
    }
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_kind = kindOf(info.st_mode);
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_size = info.st_size;
    m_seekable = true;
}

RegularFile::~RegularFile()
{
    if (m_fd >= 0 && !m_borrowed)
        ::close(m_fd);
}

std::int64_t RegularFile::read(char* data, size_t size)
{
    ssize_t got;
    for (;;) {
        got = ::read(m_fd, data, size);
        if (got >= 0)
            break;
        if (errno == EINTR)
            continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && !m_seekable) {
            // A pipe the caller left non-blocking has nothing yet: wait until it has (or ends).
            pollfd wanted{m_fd, POLLIN, 0};
            if (::poll(&wanted, 1, -1) >= 0 || errno == EINTR)
                continue;
        }
        break;
    }
    if (got > 0)
        m_offset += got;
    return got;
}

bool RegularFile::seekTo(std::int64_t offset)
{
    if (!m_seekable || ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET) < 0)
        return false;
    m_offset = offset;
    return true;
}

} // namespace vrx
