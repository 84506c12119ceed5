#pragma once
// Files as the table engine and the other writers of whole files need them:
// one interface, with a POSIX and a Win32 implementation chosen at build
// time. Plain C++ without Qt, so that it builds and is tested on its own.
// Paths are UTF-8 (wide on Windows inside); every failure is a FileError
// carrying the system's own text and code.
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace hv {

class FileError : public std::runtime_error {
 public:
  enum class Reason {
    Other,
    Missing,     // no such file or folder
    InUse,       // another opener holds the file
    NotRegular,  // a folder, pipe or device
    NoSpace,     // the disk or the allowed file size is full
    ReadOnly,    // a read-only file system or a write-protected medium
    Denied,      // the user may not do this to the file or its folder
  };
  // `message` is the whole text for the user: what failed, on which path,
  // and why, with the system's own text on a second line.
  FileError(const std::string& message, Reason reason, int code, std::string systemText);
  Reason reason() const noexcept { return reason_; }
  // errno on POSIX, GetLastError() on Windows; 0 when the system gave none.
  int code() const noexcept { return code_; }
  // strerror() / FormatMessageW() of the code, in UTF-8.
  const std::string& systemText() const noexcept { return systemText_; }

 private:
  Reason reason_;
  int code_;
  std::string systemText_;
};

// What tells one file from another while both exist, whatever names lead
// to them: device and inode on POSIX, volume serial number and file index on
// Windows.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

class File {
 public:
  enum class Access { Read, ReadWrite };

  File() noexcept = default;
  ~File();
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // Opens an existing regular file for exclusive use: refused (InUse) while
  // another opener holds it, in this process or another. POSIX: flock plus a
  // record lock over the whole file, so programs using either are seen and
  // see us; Windows: no sharing. A folder, pipe or device is refused
  // (NotRegular) before anything could block on it.
  static File openExclusive(const std::string& path, Access access);
  // Opens an existing regular file for reading, without holding it.
  static File openForReading(const std::string& path);

  bool isOpen() const noexcept;
  const std::string& path() const noexcept { return path_; }
  std::uint64_t size() const;
  // The identity of the open file (which stays that file while another
  // program renames a new one over its name).
  FileIdentity identity() const;
  // Reads up to `length` bytes at `offset`; fewer only where the file ends.
  std::size_t readAt(std::uint64_t offset, void* data, std::size_t length) const;
  // Writes all `length` bytes at `offset`.
  void writeAt(std::uint64_t offset, const void* data, std::size_t length);
  void resize(std::uint64_t size);
  // Forces the file's data to disk.
  void sync();
  void close() noexcept;

 private:
  friend class ReplacementFile;
  static constexpr std::intptr_t kClosed = -1;
  std::intptr_t handle_ = kClosed;  // a descriptor, or a Windows HANDLE
  std::string path_;
};

// A new file beside `target` that takes the target's place in one step, so
// that `target` is always either the old file or the whole new one. Creating
// one first removes temporaries of the same target left by a process that
// was killed. On Linux the file has no name until it is committed, where
// the file system allows that.
class ReplacementFile {
 public:
  explicit ReplacementFile(const std::string& target);
  ~ReplacementFile();  // discards the new file unless committed
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;

  // The new file, empty, open for reading and writing, held for exclusive use.
  File& file() noexcept { return file_; }

  // Puts the new file in the target's place. Durable: forced to disk first
  // and the folder after, so the replacement survives a power loss.
  // `heldTarget` is our own open handle of the target, if we hold one: it is
  // closed here, as late as the platform allows (Windows cannot replace an
  // open file; after a failure there it is opened again). Returns the new
  // target, still open and held. On failure the target is as it was.
  File commit(bool durable, File* heldTarget = nullptr);

 private:
  std::string target_;
  std::string folder_;
  std::string tempPath_;  // empty while the file has no name
  File file_;
  bool committed_ = false;
};

// Renames `from` to `to` in the same folder, replacing a file of that name.
// Durable: the folder's new entry is on disk before it returns (POSIX:
// rename and a sync of the folder; Windows: MoveFileExW written through).
void moveReplacing(const std::string& from, const std::string& to, bool durable);

// Starts writing bytes [offset, offset + length) of a file open under C
// descriptor `descriptor` to disk, without waiting for them, so that the
// sync at its end has little left to do. Only a hint: Linux takes it,
// elsewhere nothing happens.
void startWriteBack(int descriptor, std::uint64_t offset, std::uint64_t length) noexcept;

// The identity of the file a name leads to now; Missing when none does.
FileIdentity identityOf(const std::string& path);

// A write past the process's file-size limit fails (NoSpace), as on a full
// disk, instead of ending the program, so that what it wrote can be taken
// back. Called once at start.
void failWritesPastTheFileSizeLimit() noexcept;
// The text of a failure: `what` ("Не удалось записать файл") on `path`,
// `why` in the user's words, then the system's own text on a second line.
std::string failureText(const std::string& what, const std::string& path, const std::string& why,
                        const std::string& systemText);

// Why a system call failed with `code` (errno; GetLastError() on Windows) on
// `path`, in the user's words.
std::string reasonTextOf(int code, const std::string& path);
// The same for a failure already thrown, where the file layer knows more
// than the code (a file held by another program, a folder in a file's place).
std::string reasonTextOf(const FileError& e, const std::string& path);

// Removes a file; one that is already missing is not an error.
void removeFile(const std::string& path);

// The name of a new temporary for `targetName` (a file name, no folder):
// short, so a target name near the system's limit still has one, and
// recognisable as belonging to that target.
std::string temporaryNameFor(const std::string& targetName);
bool isTemporaryNameOf(const std::string& name, const std::string& targetName);

}  // namespace hv
