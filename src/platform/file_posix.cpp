// The file layer on POSIX systems.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstring>

#include "platform/file.h"

namespace hv {
namespace {

constexpr char kOpen[] = "Не удалось открыть файл";
constexpr char kLock[] = "Не удалось заблокировать файл";
constexpr char kRead[] = "Не удалось прочитать файл";
constexpr char kWrite[] = "Не удалось записать файл";
constexpr char kReplace[] = "Не удалось заменить файл";
constexpr char kRemove[] = "Не удалось удалить файл";

FileError::Reason reasonOf(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return FileError::Reason::Missing;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return FileError::Reason::NoSpace;
    case EISDIR:
      return FileError::Reason::NotRegular;
    case EROFS:
      return FileError::Reason::ReadOnly;
    case EACCES:
    case EPERM:
      return FileError::Reason::Denied;
    default:
      return FileError::Reason::Other;
  }
}

std::string folderOf(const std::string& path);

bool isFolder(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Why, in the user's words; the system's own text goes with it.
std::string reasonOfCode(int err, const std::string& path) {
  switch (err) {
    case ENOENT:
      if (!isFolder(folderOf(path))) return "папка \"" + folderOf(path) + "\" не найдена";
      return "файл не найден";
    case ENOTDIR: return "папка \"" + folderOf(path) + "\" не найдена";
    case ENOSPC:
    case EDQUOT: return "на диске нет места";
    case EFBIG: return "файл превысил наибольший размер, который позволяет система";
    case EROFS: return "файловая система только для чтения";
    case EACCES:
    case EPERM: return "нет прав на доступ к файлу или его папке";
    case EISDIR: return "это папка, а не файл";
    case EIO: return "ошибка чтения или записи диска (диск неисправен или отключён)";
    case ENAMETOOLONG: return "слишком длинное имя";
    case EMFILE:
    case ENFILE: return "открыто слишком много файлов";
    case EBUSY:
    case ETXTBSY:
    case EWOULDBLOCK: return "файл занят другой программой";
    case ENOLCK: return "файловая система не позволяет заблокировать файл";
    default: return "ошибка системы " + std::to_string(err);
  }
}

[[noreturn]] void fail(const char* what, const std::string& path, int err) {
  const std::string text = std::strerror(err);
  throw FileError(failureText(what, path, reasonOfCode(err, path), text), reasonOf(err), err, text);
}

[[noreturn]] void failInUse(const std::string& path, int err) {
  throw FileError("Файл \"" + path + "\" открыт другой программой.", FileError::Reason::InUse, err,
                  std::strerror(err));
}

int fdOf(std::intptr_t handle) { return int(handle); }

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string join(const std::string& folder, const std::string& name) {
  return folder.back() == '/' ? folder + name : folder + '/' + name;
}

// A record lock over the whole file. Locks owned by the open file
// description where the kernel has them: a classic lock would be lost when
// this process closes any other descriptor of the same file.
int recordLock(int fd, int type, bool test, struct flock* l) {
  *l = {};
  l->l_type = short(type);
  l->l_whence = SEEK_SET;
#ifdef F_OFD_SETLK
  if (::fcntl(fd, test ? F_OFD_GETLK : F_OFD_SETLK, l) == 0) return 0;
  if (errno != EINVAL) return -1;
  *l = {};
  l->l_type = short(type);
  l->l_whence = SEEK_SET;
#endif
  return ::fcntl(fd, test ? F_GETLK : F_SETLK, l);
}

// Takes the locks of an exclusive opening: flock for openers like us, and a
// record lock for programs that lock with fcntl (office suites do).
void hold(int fd, bool writable, const std::string& path) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) failInUse(path, errno);
    fail(kLock, path, errno);
  }
  struct flock l {};
  if (recordLock(fd, writable ? F_WRLCK : F_RDLCK, false, &l) != 0) {
    if (errno == EACCES || errno == EAGAIN) failInUse(path, errno);
    // File systems without record locks (ENOLCK and the like) keep the flock.
    return;
  }
  // A read lock shares with other readers: make sure there are none.
  if (!writable && recordLock(fd, F_WRLCK, true, &l) == 0 && l.l_type != F_UNLCK) failInUse(path, EAGAIN);
}

void syncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// Temporaries of `targetName` left by a killed writer: a writer that still
// runs holds its temporary's flock, so only orphans can be locked.
void removeStaleTemporaries(const std::string& folder, const std::string& targetName) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (!isTemporaryNameOf(name, targetName)) continue;
    const std::string path = join(folder, name);
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ::unlink(path.c_str());
    ::close(fd);
  }
  ::closedir(dir);
}

}  // namespace

namespace {

// Opens without blocking (a FIFO would wait for a writer), then refuses
// anything but a regular file before the first read.
int openRegular(const std::string& path, int access) {
  const int fd = ::open(path.c_str(), access | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) fail(kOpen, path, errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    const int err = errno;
    ::close(fd);
    fail(kOpen, path, err);
  }
  if (!S_ISREG(st.st_mode)) {
    ::close(fd);
    throw FileError(failureText(kOpen, path, "это не файл, а папка или устройство", {}), FileError::Reason::NotRegular, 0,
                    std::string());
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

File File::openExclusive(const std::string& path, Access access) {
  File f;
  f.path_ = path;
  const bool writable = access == Access::ReadWrite;
  f.handle_ = openRegular(path, writable ? O_RDWR : O_RDONLY);
  hold(fdOf(f.handle_), writable, path);
  return f;
}

File File::openForReading(const std::string& path) {
  File f;
  f.path_ = path;
  f.handle_ = openRegular(path, O_RDONLY);
  return f;
}

std::uint64_t File::size() const {
  struct stat st {};
  if (::fstat(fdOf(handle_), &st) != 0) fail(kRead, path_, errno);
  return std::uint64_t(st.st_size);
}

FileIdentity File::identity() const {
  struct stat st {};
  if (::fstat(fdOf(handle_), &st) != 0) fail(kRead, path_, errno);
  return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

FileIdentity identityOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) fail(kRead, path, errno);
  return {std::uint64_t(st.st_dev), std::uint64_t(st.st_ino)};
}

std::size_t File::readAt(std::uint64_t offset, void* data, std::size_t length) const {
  char* p = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < length) {
    if (offset + done > std::uint64_t(LLONG_MAX)) break;
    const std::size_t chunk = std::min<std::size_t>(length - done, std::size_t(1) << 30);
    const ssize_t n = ::pread(fdOf(handle_), p + done, chunk, off_t(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(kRead, path_, errno);
    }
    if (n == 0) break;
    done += std::size_t(n);
  }
  return done;
}

void File::writeAt(std::uint64_t offset, const void* data, std::size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    const std::size_t chunk = std::min<std::size_t>(length, std::size_t(1) << 30);
    const ssize_t n = ::pwrite(fdOf(handle_), p, chunk, off_t(offset));
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(kWrite, path_, errno);
    }
    if (n == 0) fail(kWrite, path_, ENOSPC);
    p += n;
    length -= std::size_t(n);
    offset += std::uint64_t(n);
  }
}

void File::resize(std::uint64_t size) {
  while (::ftruncate(fdOf(handle_), off_t(size)) != 0)
    if (errno != EINTR) fail(kWrite, path_, errno);
}

void File::sync() {
#ifdef __linux__
  if (::fdatasync(fdOf(handle_)) != 0) fail(kWrite, path_, errno);
#else
  if (::fsync(fdOf(handle_)) != 0) fail(kWrite, path_, errno);
#endif
}

void File::close() noexcept {
  if (handle_ == kClosed) return;
  ::close(fdOf(handle_));
  handle_ = kClosed;
}

ReplacementFile::ReplacementFile(const std::string& target) : target_(target), folder_(folderOf(target)) {
  const std::string targetName = nameOf(target);
  removeStaleTemporaries(folder_, targetName);
  file_.path_ = target;
  int fd = -1;
#ifdef O_TMPFILE
  // Naming it later goes through /proc; without /proc it gets a name now.
  if (::access("/proc/self/fd", X_OK) == 0) fd = ::open(folder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
#endif
  for (int tries = 0; fd < 0; ++tries) {
    const std::string candidate = join(folder_, temporaryNameFor(targetName));
    fd = ::open(candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      tempPath_ = candidate;
    } else if (errno != EEXIST || tries > 100) {
      fail(kWrite, target, errno);
    }
  }
  file_.handle_ = fd;
  hold(fd, true, target);
  // The new file keeps the permissions of the one it replaces.
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::fchmod(fd, st.st_mode & 07777);
}

ReplacementFile::~ReplacementFile() {
  if (committed_) return;
  file_.close();
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
}

File ReplacementFile::commit(bool durable, File* heldTarget) {
  if (committed_ || !file_.isOpen()) throw FileError(failureText(kReplace, target_, "замена уже сделана", {}), FileError::Reason::Other, 0, {});
  if (durable) file_.sync();
  if (tempPath_.empty()) {
    // The unnamed file gets a name beside the target, then takes its place.
    const std::string self = "/proc/self/fd/" + std::to_string(fdOf(file_.handle_));
    for (int tries = 0; tempPath_.empty(); ++tries) {
      const std::string candidate = join(folder_, temporaryNameFor(nameOf(target_)));
      if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW) == 0)
        tempPath_ = candidate;
      else if (errno != EEXIST || tries > 100)
        fail(kWrite, target_, errno);
    }
  }
  moveReplacing(tempPath_, target_, durable);
  tempPath_.clear();
  committed_ = true;
  if (heldTarget) heldTarget->close();
  return std::move(file_);
}

void moveReplacing(const std::string& from, const std::string& to, bool durable) {
  if (::rename(from.c_str(), to.c_str()) != 0) fail(kReplace, to, errno);
  // A file system that cannot sync a folder still has the rename done.
  if (durable) syncFolder(folderOf(to));
}

void startWriteBack(int descriptor, std::uint64_t offset, std::uint64_t length) noexcept {
#ifdef __linux__
  // Errors, if any, are the final sync's to report.
  if (offset <= std::uint64_t(LLONG_MAX) && length <= std::uint64_t(LLONG_MAX))
    ::sync_file_range(descriptor, off64_t(offset), off64_t(length), SYNC_FILE_RANGE_WRITE);
#else
  (void)descriptor;
  (void)offset;
  (void)length;
#endif
}

void failWritesPastTheFileSizeLimit() noexcept { std::signal(SIGXFSZ, SIG_IGN); }
std::string reasonTextOf(int code, const std::string& path) { return reasonOfCode(code, path); }

void removeFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) fail(kRemove, path, errno);
}

}  // namespace hv
