// The file layer, without Qt: the same tests run against the POSIX
// implementation here and against the Win32 one when cross-compiled.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/file.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using hv::File;
using hv::FileError;
using hv::ReplacementFile;
using hv::identityOf;
using hv::moveReplacing;

namespace {

std::string utf8(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

fs::path pathOf(const std::string& utf8Path) { return fs::path(std::u8string(utf8Path.begin(), utf8Path.end())); }

std::string readAll(const std::string& path) {
  std::ifstream in(pathOf(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(pathOf(path), std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::vector<std::string> entries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(utf8(e.path().filename()));
  std::sort(names.begin(), names.end());
  return names;
}

FileError::Reason refusal(const std::string& path, File::Access access) {
  try {
    File::openExclusive(path, access);
  } catch (const FileError& e) {
    return e.reason();
  }
  return FileError::Reason::Other;  // opened: the callers expect a refusal
}

class FileLayer : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    dir_ = fs::temp_directory_path() / ("hv_file_test_" + std::to_string(random()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string path(const std::string& name) const { return utf8(dir_ / pathOf(name)); }

  fs::path dir_;
};

constexpr char kHoldVariable[] = "HV_FILE_TEST_HOLD";

// This program run again holds the file named in kHoldVariable for exclusive
// use until its input ends, before any test runs.
[[maybe_unused]] const bool kHeldForAnotherProcess = [] {
  const char* file = std::getenv(kHoldVariable);
  if (!file || !*file) return false;
  try {
    File held = File::openExclusive(file, File::Access::ReadWrite);
    writeAll(std::string(file) + ".held", "");
    while (std::getchar() != EOF) {
    }
  } catch (const FileError&) {
    std::exit(3);
  }
  std::exit(0);
}();

std::string selfPath() {
#ifdef _WIN32
  std::wstring self(32768, L'\0');
  self.resize(GetModuleFileNameW(nullptr, self.data(), DWORD(self.size())));
  return utf8(fs::path(self));
#else
  return utf8(fs::canonical("/proc/self/exe"));
#endif
}

// This program run again, holding a file for exclusive use until it ends.
class OtherProcessHolding {
 public:
  explicit OtherProcessHolding(const std::string& file) : marker_(file + ".held") {
#ifdef _WIN32
    _putenv_s(kHoldVariable, file.c_str());
    pipe_ = _popen(("\"" + selfPath() + "\"").c_str(), "w");
    _putenv_s(kHoldVariable, "");
#else
    ::setenv(kHoldVariable, file.c_str(), 1);
    pipe_ = ::popen(("'" + selfPath() + "'").c_str(), "w");
    ::unsetenv(kHoldVariable);
#endif
    for (int i = 0; i < 1000 && !fs::exists(pathOf(marker_)); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~OtherProcessHolding() { end(); }
  bool holding() const { return pipe_ && fs::exists(pathOf(marker_)); }
  void end() {
    if (!pipe_) return;
#ifdef _WIN32
    _pclose(pipe_);
#else
    ::pclose(pipe_);
#endif
    pipe_ = nullptr;
  }

 private:
  std::string marker_;
  std::FILE* pipe_ = nullptr;
};

TEST_F(FileLayer, ASecondOpenerIsRefusedWhileTheFirstHoldsTheFile) {
  const std::string table = path("t.db");
  writeAll(table, "abc");
  {
    File first = File::openExclusive(table, File::Access::ReadWrite);
    EXPECT_EQ(refusal(table, File::Access::ReadWrite), FileError::Reason::InUse);
    EXPECT_EQ(refusal(table, File::Access::Read), FileError::Reason::InUse);
  }
  {
    File reader = File::openExclusive(table, File::Access::Read);
    EXPECT_EQ(refusal(table, File::Access::ReadWrite), FileError::Reason::InUse);
  }
  // Another process of ours.
  OtherProcessHolding other(table);
  ASSERT_TRUE(other.holding());
  EXPECT_EQ(refusal(table, File::Access::ReadWrite), FileError::Reason::InUse);
  other.end();
  EXPECT_NO_THROW(File::openExclusive(table, File::Access::ReadWrite));
}

TEST_F(FileLayer, PositionedWritesReadBack) {
  const std::string name = path("data.bin");
  writeAll(name, "0123456789");
  File f = File::openExclusive(name, File::Access::ReadWrite);
  EXPECT_EQ(f.size(), 10u);
  f.writeAt(3, "abc", 3);
  f.writeAt(20, "end", 3);  // beyond the end: the gap reads as zeros
  EXPECT_EQ(f.size(), 23u);
  char buffer[32] = {};
  EXPECT_EQ(f.readAt(0, buffer, sizeof buffer), 23u);  // short only where the file ends
  EXPECT_EQ(std::string(buffer, 23), std::string("012abc6789") + std::string(10, '\0') + "end");
  EXPECT_EQ(f.readAt(21, buffer, 5), 2u);
  EXPECT_EQ(f.readAt(100, buffer, 5), 0u);
  f.resize(4);
  f.sync();
  EXPECT_EQ(f.size(), 4u);
  f.close();
  EXPECT_FALSE(f.isOpen());
  EXPECT_EQ(readAll(name), "012a");
}

TEST_F(FileLayer, AReplacementTakesTheTargetsPlaceOnlyWhenCommitted) {
  const std::string target = path("t.db");
  writeAll(target, "old");
  {
    ReplacementFile abandoned(target);
    abandoned.file().writeAt(0, "new", 3);
  }
  EXPECT_EQ(readAll(target), "old");
  EXPECT_EQ(entries(dir_), std::vector<std::string>{"t.db"});

  File held = File::openExclusive(target, File::Access::ReadWrite);
  ReplacementFile replacement(target);
  replacement.file().writeAt(0, "new contents", 12);
  File now = replacement.commit(true, &held);
  EXPECT_FALSE(held.isOpen());
  ASSERT_TRUE(now.isOpen());
  EXPECT_EQ(now.path(), target);
  EXPECT_EQ(refusal(target, File::Access::Read), FileError::Reason::InUse);  // still held, by `now`
  now.writeAt(0, "N", 1);
  now.close();
  EXPECT_EQ(readAll(target), "New contents");
  EXPECT_EQ(entries(dir_), std::vector<std::string>{"t.db"});

  // A target that cannot be replaced (a folder in its place) stays, and so does nothing else.
  const std::string folder = path("f.db");
  fs::create_directory(pathOf(folder));
  writeAll(folder + "/inside", "x");
  ReplacementFile refused(folder);
  refused.file().writeAt(0, "new", 3);
  EXPECT_THROW(refused.commit(true), FileError);
  EXPECT_EQ(readAll(folder + "/inside"), "x");
}

TEST_F(FileLayer, AnOpenFileKeepsItsIdentityWhenAnotherTakesItsName) {
  const std::string target = path("t.db"), other = path("o.db");
  writeAll(target, "ours");
  writeAll(other, "theirs");
  File ours = File::openForReading(target);
  EXPECT_TRUE(ours.identity() == identityOf(target));
  EXPECT_FALSE(ours.identity() == identityOf(other));
#ifdef _WIN32
  // Windows keeps a name that an open file holds: the rename is refused and the name still leads to ours.
  EXPECT_THROW(moveReplacing(other, target, false), FileError);
  EXPECT_TRUE(ours.identity() == identityOf(target));
#else
  moveReplacing(other, target, false);
  EXPECT_FALSE(ours.identity() == identityOf(target));
#endif
  try {
    identityOf(path("gone.db"));
    ADD_FAILURE() << "an identity for a missing file";
  } catch (const FileError& e) {
    EXPECT_EQ(e.reason(), FileError::Reason::Missing);
  }
}

TEST_F(FileLayer, CyrillicFolderAndFileNames) {
  const fs::path folder = dir_ / fs::path(u8"Замеры 2024");
  fs::create_directory(folder);
  const std::string table = utf8(folder / fs::path(u8"Сосна.db"));
  {
    ReplacementFile created(table);
    created.file().writeAt(0, "rows", 4);
    created.commit(true);
  }
  EXPECT_TRUE(fs::exists(folder / fs::path(u8"Сосна.db")));
  File f = File::openExclusive(table, File::Access::ReadWrite);
  char buffer[4] = {};
  EXPECT_EQ(f.readAt(0, buffer, 4), 4u);
  EXPECT_EQ(std::string(buffer, 4), "rows");
  f.close();
  hv::removeFile(table);
  EXPECT_FALSE(fs::exists(folder / fs::path(u8"Сосна.db")));
  EXPECT_NO_THROW(hv::removeFile(table));  // already gone
}

TEST_F(FileLayer, ErrorsCarryTheSystemsCodeAndText) {
  const std::string missing = path("нет.db");
  try {
    File::openForReading(missing);
    FAIL() << "a missing file opened";
  } catch (const FileError& e) {
    EXPECT_EQ(e.reason(), FileError::Reason::Missing);
#ifdef _WIN32
    EXPECT_EQ(e.code(), int(ERROR_FILE_NOT_FOUND));
    EXPECT_NE(e.systemText(), "error 2");  // the system's words, not a number
#else
    EXPECT_EQ(e.code(), ENOENT);
    EXPECT_EQ(e.systemText(), std::strerror(ENOENT));
#endif
    EXPECT_FALSE(e.systemText().empty());
    const std::string what = e.what();
    EXPECT_NE(what.find(missing), std::string::npos) << what;
    EXPECT_NE(what.find(e.systemText()), std::string::npos) << what;
    // The user's words first, the system's on the second line.
    EXPECT_EQ(what.substr(0, what.find('\n')), "Не удалось открыть файл \"" + missing + "\": файл не найден.");
  }
  const std::string folder = path("нет");
  const std::string inMissingFolder = folder + "/t.db";
  try {
    ReplacementFile r(inMissingFolder);
    FAIL() << "written into a missing folder";
  } catch (const FileError& e) {
    const std::string what = e.what();
    EXPECT_EQ(e.reason(), FileError::Reason::Missing);
    EXPECT_NE(what.find(": папка \"" + folder + "\" не найдена.\n"), std::string::npos) << what;
  }
  fs::create_directory(pathOf(path("folder.db")));
  try {
    File::openExclusive(path("folder.db"), File::Access::ReadWrite);
    FAIL() << "a folder opened";
  } catch (const FileError& e) {
    EXPECT_EQ(e.reason(), FileError::Reason::NotRegular) << e.what();
  }
}

TEST_F(FileLayer, TemporariesAreShortAndThoseOfKilledWritersGoAtTheNextWrite) {
  const std::string longName = std::string(247, 'x') + ".db";
  const std::string temp = hv::temporaryNameFor(longName);
  EXPECT_LE(temp.size(), 20u);
  EXPECT_TRUE(hv::isTemporaryNameOf(temp, longName));
  EXPECT_FALSE(hv::isTemporaryNameOf(temp, "other.db"));
  {
    ReplacementFile r(path(longName));
    r.file().writeAt(0, "x", 1);
    r.commit(false);
  }
  EXPECT_EQ(readAll(path(longName)), "x");

  // Left behind: ours and an earlier version's. Kept: another target's, a
  // user's file, and one whose writer still runs.
  const std::string target = path("t.db");
  const std::string stale = hv::temporaryNameFor("t.db"), otherTarget = hv::temporaryNameFor("u.db");
  writeAll(path(stale), "stale");
  writeAll(path(".t.db.Ab12cD"), "stale, earlier name");
  writeAll(path(otherTarget), "another target");
  writeAll(path(".t.db.notes"), "the user's");
  ReplacementFile running(target);  // the next write: the stale ones go
  running.file().writeAt(0, "running", 7);
  {
    ReplacementFile next(target);  // meets the running one, which stays
    next.commit(false);
  }
  running.commit(false);
  EXPECT_EQ(readAll(target), "running");
  std::vector<std::string> left = entries(dir_);
  std::erase(left, longName);
  std::vector<std::string> kept = {".t.db.notes", otherTarget, "t.db"};
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(left, kept);
}

#ifndef _WIN32

// A child process that takes a POSIX record lock on `file` and keeps it
// until the returned pipe is closed; returns its pid.
pid_t recordLockHolder(const std::string& file, int* release) {
  int ready[2], done[2];
  if (::pipe(ready) != 0 || ::pipe(done) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    ::close(done[1]);
    const int fd = ::open(file.c_str(), O_RDWR);
    struct flock l {};
    l.l_type = F_WRLCK;
    l.l_whence = SEEK_SET;
    const char ok = fd >= 0 && ::fcntl(fd, F_SETLK, &l) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    char c;
    (void)!::read(done[0], &c, 1);
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(done[0]);
  char ok = 'n';
  (void)!::read(ready[0], &ok, 1);
  ::close(ready[0]);
  *release = done[1];
  return ok == 'y' ? child : -1;
}

// What another process meets when it tries the usual locks on a file we hold.
int otherProcessLocks(const std::string& file) {
  const pid_t child = ::fork();
  if (child == 0) {
    const int fd = ::open(file.c_str(), O_RDWR);
    struct flock l {};
    l.l_type = F_WRLCK;
    l.l_whence = SEEK_SET;
    int got = 0;
    if (::fcntl(fd, F_SETLK, &l) == 0) got |= 1;
    l.l_type = F_RDLCK;
    if (::fcntl(fd, F_SETLK, &l) == 0) got |= 2;
    if (::flock(fd, LOCK_SH | LOCK_NB) == 0) got |= 4;
    ::_exit(got);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(FileLayer, RecordLocksAreSeenBothWays) {
  const std::string table = path("t.db");
  writeAll(table, "abc");
  int release = -1;
  const pid_t holder = recordLockHolder(table, &release);
  ASSERT_GT(holder, 0);
  EXPECT_EQ(refusal(table, File::Access::ReadWrite), FileError::Reason::InUse);
  EXPECT_EQ(refusal(table, File::Access::Read), FileError::Reason::InUse);
  ::close(release);
  ::waitpid(holder, nullptr, 0);
  {
    File ours = File::openExclusive(table, File::Access::ReadWrite);
    EXPECT_EQ(otherProcessLocks(table), 0);  // neither record lock nor flock granted
    // Closing another descriptor of the file in this process keeps our lock.
    ::close(::open(table.c_str(), O_RDONLY));
    EXPECT_EQ(otherProcessLocks(table), 0);
  }
  {
    File reader = File::openExclusive(table, File::Access::Read);
    EXPECT_EQ(otherProcessLocks(table), 2);  // other readers may lock for reading
  }
  EXPECT_EQ(otherProcessLocks(table), 7);
}

TEST_F(FileLayer, APipeOrDeviceIsRefusedWithoutWaiting) {
  const std::string fifo = path("fifo.db");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ::alarm(20);  // a blocking open would end the test program here
  EXPECT_THROW(File::openExclusive(fifo, File::Access::ReadWrite), FileError);
  EXPECT_THROW(File::openForReading(fifo), FileError);
  try {
    File::openForReading("/dev/zero");
    ADD_FAILURE() << "a device opened";
  } catch (const FileError& e) {
    EXPECT_EQ(e.reason(), FileError::Reason::NotRegular);
  }
  ::alarm(0);
}

TEST_F(FileLayer, AFullDiskFailsTheWriteAndKeepsTheTarget) {
  const std::string target = path("t.db");
  writeAll(target, "old");
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 100;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  try {
    ReplacementFile r(target);
    const std::string bytes(200, 'n');
    r.file().writeAt(0, bytes.data(), bytes.size());
    ADD_FAILURE() << "wrote past the limit";
  } catch (const FileError& e) {
    EXPECT_EQ(e.reason(), FileError::Reason::NoSpace) << e.what();
    EXPECT_EQ(e.code(), EFBIG);
  }
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(readAll(target), "old");
  EXPECT_EQ(entries(dir_), std::vector<std::string>{"t.db"});
}

TEST_F(FileLayer, AKilledWriterLeavesNoNamedTemporaryWhereTheFileSystemAllows) {
  const std::string target = path("t.db");
  writeAll(target, "old");
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t writer = ::fork();
  if (writer == 0) {
    ReplacementFile r(target);
    r.file().writeAt(0, "half", 4);
    (void)!::write(ready[1], "w", 1);
    ::pause();
    ::_exit(0);
  }
  char c;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::kill(writer, SIGKILL);
  ::waitpid(writer, nullptr, 0);
  ::close(ready[0]);
  ::close(ready[1]);
#ifdef O_TMPFILE
  const int probe = ::open(utf8(dir_).c_str(), O_TMPFILE | O_RDWR, 0600);
  if (probe >= 0) {
    ::close(probe);
    EXPECT_EQ(entries(dir_), std::vector<std::string>{"t.db"});
  }
#endif
  ReplacementFile next(target);
  next.file().writeAt(0, "new", 3);
  next.commit(true);
  EXPECT_EQ(entries(dir_), std::vector<std::string>{"t.db"});
  EXPECT_EQ(readAll(target), "new");
}

#endif

}  // namespace
