#include "platform/file/regular_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace plashwerk {
namespace {

namespace fs = std::filesystem;

class RegularFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/plashwerk_file_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const char* name) const { return (dir / name).string(); }
    fs::path dir;
};

std::string readAll(const std::string& p) {
    std::FILE* f = openRegularStream(p.c_str(), "rb");
    if (!f) return "<none>";
    std::string text;
    char buffer[64];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
}

TEST_F(RegularFile, WritesAppendsAndReadsARegularFile) {
    const std::string p = path("a.txt");
    std::FILE* f = openRegularStream(p.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("one", f);
    std::fclose(f);
    f = openRegularStream(p.c_str(), "a");
    ASSERT_NE(f, nullptr);
    std::fputs(" two", f);
    std::fclose(f);
    EXPECT_EQ(readAll(p), "one two");
    // Reads and writes block as usual once open: the descriptor lost O_NONBLOCK.
    const int fd = openRegularFile(p.c_str(), FileAccess::Read);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    close(fd);
    EXPECT_EQ(openRegularStream(p.c_str(), "r+"), nullptr) << "no read-write streams";
}

// Every one of these would block or misbehave with a plain open; each must be refused at
// once. A regression hangs here until the test's time-out.
TEST_F(RegularFile, SpecialFilesAreRefusedWithoutBlocking) {
    const std::string fifo = path("fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    for (FileAccess access : {FileAccess::Read, FileAccess::Write, FileAccess::Append}) {
        errno = 0;
        EXPECT_EQ(openRegularFile(fifo.c_str(), access), -1);
        EXPECT_NE(errno, 0);
    }
    // A FIFO that has a reader accepts a non-blocking writer; it is still refused.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    EXPECT_EQ(openRegularFile(fifo.c_str(), FileAccess::Write), -1);
    EXPECT_EQ(errno, EINVAL);
    close(reader);

    EXPECT_EQ(openRegularStream(dir.c_str(), "r"), nullptr) << "a directory";
    EXPECT_EQ(openRegularStream(dir.c_str(), "w"), nullptr);
    EXPECT_EQ(openRegularStream("/dev/zero", "rb"), nullptr) << "an endless device";
    EXPECT_EQ(openRegularStream("/dev/full", "w"), nullptr);
    EXPECT_EQ(openRegularStream("/dev/null", "a"), nullptr);
    EXPECT_EQ(openRegularStream(path("missing").c_str(), "r"), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(openRegularStream("", "r"), nullptr);
    EXPECT_EQ(openRegularStream(nullptr, "r"), nullptr);
}

TEST_F(RegularFile, WholeFilesAreReadUpToALimit) {
    const std::string p = path("bytes.bin");
    std::FILE* f = openRegularStream(p.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite("abc\0def", 1, 7, f);
    std::fclose(f);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(readRegularFile(p.c_str(), 7, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), std::string("abc\0def", 7));
    EXPECT_FALSE(readRegularFile(p.c_str(), 6, bytes)) << "over the limit";
    EXPECT_EQ(errno, EFBIG) << "callers tell a file too large from one that is not there";
    EXPECT_TRUE(bytes.empty());
    EXPECT_FALSE(readRegularFile("/dev/zero", 1 << 20, bytes));
    EXPECT_NE(errno, EFBIG);
    EXPECT_FALSE(readRegularFile(dir.c_str(), 1 << 20, bytes));
    ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(readRegularFile(path("fifo").c_str(), 1 << 20, bytes));
    f = openRegularStream(path("empty").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(readRegularFile(path("empty").c_str(), 10, bytes));
    EXPECT_TRUE(bytes.empty());
}

TEST_F(RegularFile, SymbolicLinksOnlyWhereAsked) {
    const std::string target = path("target.txt"), link = path("link.txt");
    std::FILE* f = openRegularStream(target.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs("x", f);
    std::fclose(f);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(readAll(link), "x");
    EXPECT_EQ(openRegularFile(link.c_str(), FileAccess::Read, Links::Refuse), -1);
    EXPECT_EQ(openRegularFile(link.c_str(), FileAccess::Write, Links::Refuse), -1);
    EXPECT_EQ(readAll(target), "x") << "a refused write must not truncate the link's target";
    const std::string to_fifo = path("to_fifo");
    ASSERT_EQ(mkfifo(path("fifo2").c_str(), 0600), 0);
    ASSERT_EQ(symlink(path("fifo2").c_str(), to_fifo.c_str()), 0);
    EXPECT_EQ(openRegularFile(to_fifo.c_str(), FileAccess::Read), -1);
}

class SharedMemoryObject : public ::testing::Test {
  protected:
    void TearDown() override {
        shm_unlink(name.c_str());
        unlink(("/dev/shm" + name).c_str());
    }
    std::string name = "/plashwerk_file_test_" + std::to_string(getpid());
};

TEST_F(SharedMemoryObject, SaneObjectsOpenAndOthersAreRefused) {
    size_t size = 0;
    EXPECT_EQ(openSharedMemoryObject(name.c_str(), 4096, &size), -1) << "missing";

    int fd = shm_open(name.c_str(), O_CREAT | O_RDWR, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, 1000), 0);
    close(fd);
    fd = openSharedMemoryObject(name.c_str(), 4096, &size);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(size, 1000u);
    if (fd >= 0) close(fd);
    EXPECT_EQ(openSharedMemoryObject(name.c_str(), 999, &size), -1) << "larger than allowed";
    shm_unlink(name.c_str());

    // Any local user can put a FIFO where the object is expected.
    ASSERT_EQ(mkfifo(("/dev/shm" + name).c_str(), 0600), 0);
    EXPECT_EQ(openSharedMemoryObject(name.c_str(), 4096, &size), -1);
}

}  // namespace
}  // namespace plashwerk
