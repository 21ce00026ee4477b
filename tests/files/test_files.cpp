// The files the programs read and write, on the system's own calls: the same table on Linux and, cross-built,
// under Wine, so that the POSIX and the Windows half keep the same guarantees.

#include "files/Files.h"
#include "files/LogSource.h"
#include "files/ReadFile.h"
#include "tests/core/CoreTest.h"

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>

#ifdef _WIN32
#include <io.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace vrx;
namespace fs = std::filesystem;

namespace {

std::string utf8(const fs::path& path)
{
    const std::u8string bytes = path.u8string();
    return std::string(bytes.begin(), bytes.end());
}

fs::path fromUtf8(const std::string& bytes)
{
    return fs::path(std::u8string(bytes.begin(), bytes.end()));
}

// A fresh folder of the test's own, removed at the end.
class Folder {
public:
    Folder()
    {
        std::random_device seed;
        m_path = fs::temp_directory_path() / ("vrx-files-" + std::to_string(seed()));
        fs::create_directories(m_path);
    }
    ~Folder()
    {
        std::error_code ignored;
        fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ignored);
        for (const auto& entry : fs::directory_iterator(m_path, ignored))
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ignored);
        fs::remove_all(m_path, ignored);
    }
    std::string file(const std::string& name) const { return utf8(m_path / fromUtf8(name)); }
    const fs::path& path() const { return m_path; }
    // The names in it, hidden ones too.
    std::vector<std::string> names() const
    {
        std::vector<std::string> all;
        for (const auto& entry : fs::directory_iterator(m_path))
            all.push_back(utf8(entry.path().filename()));
        std::sort(all.begin(), all.end());
        return all;
    }

private:
    fs::path m_path;
};

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(fromUtf8(path), std::ios::binary | std::ios::trunc) << bytes;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(fromUtf8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes through a temporary beside the target and puts it in place, as vrxlog's output does.
files::Error replaceFile(const std::string& target, const std::string& bytes)
{
    const files::Target old = files::inspectTarget(target);
    if (old.error)
        return old.error;
    const std::string real = old.kind == files::Target::Kind::Regular ? old.realPath : target;
    std::string temporary;
    int fd = -1;
    if (files::Error error = files::createTemporaryBeside(real, temporary, fd))
        return error;
    files::Error error = files::writeAll(fd, bytes.data(), bytes.size());
    if (!error)
        error = files::finishReplacement(fd, old);
    const files::Error closed = files::closeFile(fd);
    if (!error)
        error = closed;
    if (!error)
        error = files::replaceWith(temporary, real, old.kind == files::Target::Kind::Regular);
    if (error)
        files::removeFile(temporary);
    return error;
}

} // namespace

// A target is replaced whole, through a temporary that is gone afterwards, also where its name
// is as long as the system allows.
CORE_TEST(replacingFiles)
{
    const struct {
        const char* name;
        std::string target;   // a name in the folder
        const char* before;   // its content first; nullptr: no such file
    } rows[] = {
        {"new file", "out.txt", nullptr},
        {"existing file", "out.txt", "old content that is longer than the new"},
        {"255-character name", std::string(255, 'n'), "old"},
        {"non-ASCII name", "\xC3\xA9t\xC3\xA9.txt", nullptr},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        const Folder folder;
        const std::string target = folder.file(row.target);
        if (row.before)
            writeFile(target, row.before);
        CHECK(!replaceFile(target, "new\r\ncontent\n"));
        CHECK_EQ(readFile(target), std::string("new\r\ncontent\n"));
        CHECK_EQ(folder.names().size(), size_t(1));
    }
}

// A log stays open while the window shows it: meanwhile it can still be renamed and deleted, as
// the program that writes the logs and the user's file manager do, and what is open reads on.
CORE_TEST(openLogCanBeRenamedAndDeleted)
{
    const Folder folder;
    const std::string log = folder.file("run.log");
    writeFile(log, "first\r\nsecond\r\n");
    RegularFile open(log);
    CHECK(open.isOpen());
    std::error_code renamed;
    fs::rename(fromUtf8(log), fromUtf8(folder.file("old.log")), renamed);
    CHECK(!renamed);
    std::error_code removed;
    fs::remove(fromUtf8(folder.file("old.log")), removed);
    CHECK(!removed);
    char bytes[32] = {};
    CHECK_EQ(open.read(bytes, sizeof bytes), std::int64_t(15));
    CHECK_EQ(std::string(bytes, 6), std::string("first\r"));
}

CORE_TEST(inspectingTargets)
{
    const Folder folder;
    writeFile(folder.file("file"), "x");
    writeFile(folder.file("locked"), "x");
    fs::permissions(fromUtf8(folder.file("locked")), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    fs::create_directory(fromUtf8(folder.file("sub")));
#ifdef _WIN32
    const std::string device = "NUL";
#else
    const std::string device = "/dev/null";
#endif
    using Kind = files::Target::Kind;
    const struct {
        const char* name;
        std::string path;
        Kind kind;
        bool readOnly;
    } rows[] = {
        {"missing", folder.file("none"), Kind::Missing, false},
        {"regular", folder.file("file"), Kind::Regular, false},
        {"read-only", folder.file("locked"), Kind::Regular, true},
        {"folder", folder.file("sub"), Kind::Folder, false},
        {"device", device, Kind::Other, false},
    };
    for (const auto& row : rows) {
        coretest::currentRow() = row.name;
        const files::Target target = files::inspectTarget(row.path);
        CHECK(!target.error);
        CHECK_EQ(int(target.kind), int(row.kind));
        CHECK_EQ(target.readOnly, row.readOnly);
    }
}

// Two names of one file are one file; two files are two, also when their contents agree.
CORE_TEST(tellingFilesApart)
{
    const Folder folder;
    writeFile(folder.file("a"), "same");
    writeFile(folder.file("b"), "same");
    fs::create_hard_link(fromUtf8(folder.file("a")), fromUtf8(folder.file("a2")));
    files::FileId a, a2, b, open;
    CHECK(files::idOfPath(folder.file("a"), a));
    CHECK(files::idOfPath(folder.file("a2"), a2));
    CHECK(files::idOfPath(folder.file("b"), b));
    CHECK(a == a2);
    CHECK(!(a == b));
    CHECK(!files::idOfPath(folder.file("none"), b));

    std::string temporary;
    int fd = -1;
    CHECK(!files::createTemporaryBeside(folder.file("c"), temporary, fd));
    files::FileId byName;
    CHECK(files::idOfRegularFile(fd, open));
    CHECK(files::idOfPath(temporary, byName));
    CHECK(open == byName);
    files::closeFile(fd);
    files::removeFile(temporary);
    CHECK(!fs::exists(fromUtf8(temporary)));
}

// A scratch file has no name in any folder and reads back what was written, at any offset.
CORE_TEST(scratchFiles)
{
    int fd = -1;
    CHECK(!files::createScratchFile(fd));
    const std::string bytes = "0123456789";
    CHECK(!files::writeAll(fd, bytes.data(), bytes.size()));
    char back[16] = {};
    size_t got = 0;
    CHECK(!files::readAt(fd, 4, back, sizeof back, got));
    CHECK_EQ(std::string(back, got), std::string("456789"));
    CHECK(!files::readAt(fd, 10, back, sizeof back, got));
    CHECK_EQ(got, size_t(0));
    CHECK(!files::closeFile(fd));
}

// A file that cannot be made is refused with the system's error, and nothing is left.
CORE_TEST(refusedFiles)
{
    const Folder folder;
    std::string temporary;
    int fd = -1;
    const files::Error error = files::createTemporaryBeside(folder.file("none") + "/x", temporary, fd);
    CHECK(bool(error));
    CHECK(!error.message().empty());
    CHECK(folder.names().empty());
    CHECK(bool(files::openInPlace(folder.file("none"), fd)));
}

// What a log shown in the window has become on disk, for a log held as read and for one read
// again from the file: the file's identity, size and both times first, then its bytes.
CORE_TEST(logChanges)
{
    using Change = LogSource::Change;
    std::string log;
    for (int i = 1; i <= 2000; ++i)
        log += "Test " + std::to_string(10000 + i) + " \x0F\r\n";
    const struct {
        const char* name;
        Change expected;
    } rows[] = {
        {"unchanged", Change::None},
        {"touched, the bytes the same", Change::None},
        {"appended to", Change::Appended},
        {"rewritten as long, its time put back", Change::Rewritten},
        {"truncated", Change::Truncated},
        {"replaced", Change::Replaced},
        {"deleted", Change::Gone},
    };
    for (const std::int64_t held : {LogSource::HeldSize, std::int64_t(0)}) {
        for (const auto& row : rows) {
            coretest::currentRow() = std::string(row.name) + (held ? " (held)" : " (read again)");
            const Folder folder;
            const std::string path = folder.file("run.log");
            writeFile(path, log);
            LogFailure failure;
            const std::shared_ptr<LogSource> source = LogSource::open(path, failure, held);
            CHECK(source != nullptr);
            if (!source)
                continue;
            {
                BytesInput bytes(*source, 0, std::numeric_limits<std::int64_t>::max());
                SnapshotInput input(bytes, source->sums(), source->keep());
                LogSink none;
                ScanOptions options;
                options.text = ScanText::None;
                CHECK(scanLog(input, path, none, options).ok());
                input.finish(true);
                source->readDone(input.keptWhole());
            }
            CHECK_EQ(source->snapshot().sums == nullptr, held != 0);
            CHECK(source->change() == Change::None);
            const fs::path file = fromUtf8(path);
            const auto modified = fs::last_write_time(file);
            const std::string name = row.name;
            if (name.starts_with("touched")) {
                fs::last_write_time(file, modified + std::chrono::seconds(5));
            } else if (name.starts_with("appended")) {
                std::ofstream(file, std::ios::binary | std::ios::app) << "Test 99999 \x10\r\n";
            } else if (name.starts_with("rewritten")) {
                std::string other = log;
                std::replace(other.begin(), other.end(), '\x0F', '\x10');
                std::fstream(file, std::ios::binary | std::ios::in | std::ios::out) << other;
                fs::last_write_time(file, modified);
            } else if (name == "truncated") {
                fs::resize_file(file, log.size() / 2);
            } else if (name == "replaced") {
                // Windows renames a file that is open, but not onto it: the old one goes first.
                writeFile(folder.file("new.log"), log);
                fs::rename(file, fromUtf8(folder.file("old.log")));
                fs::rename(fromUtf8(folder.file("new.log")), file);
            } else if (name == "deleted") {
                fs::remove(file);
                // Wine keeps a file deleted while open under its name, as whole, until it is
                // closed, and says nothing of the pending delete: nothing tells it there.
                if (fs::exists(file))
                    continue;
            }
            CHECK_EQ(int(source->change()), int(row.expected));
        }
    }
}
