// The file layer on Windows.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>

#include "platform/file.h"

namespace hv {
namespace {

std::wstring wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  std::wstring w(size_t(std::max(n, 0)), L'\0');
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), n);
  return w;
}

std::string narrow(const std::wstring& w) {
  if (w.empty()) return {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(size_t(std::max(n, 0)), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), s.data(), n, nullptr, nullptr);
  return s;
}

std::string systemText(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
  std::wstring text = n > 0 && buffer ? std::wstring(buffer, n) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ' || text.back() == L'.'))
    text.pop_back();
  return text.empty() ? "error " + std::to_string(code) : narrow(text);
}

FileError::Reason reasonOf(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return FileError::Reason::Missing;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return FileError::Reason::InUse;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return FileError::Reason::NoSpace;
    case ERROR_WRITE_PROTECT:
      return FileError::Reason::ReadOnly;
    case ERROR_ACCESS_DENIED:
      return FileError::Reason::Denied;
    default:
      return FileError::Reason::Other;
  }
}

constexpr char kOpen[] = "Не удалось открыть файл";
constexpr char kRead[] = "Не удалось прочитать файл";
constexpr char kWrite[] = "Не удалось записать файл";
constexpr char kReplace[] = "Не удалось заменить файл";
constexpr char kRemove[] = "Не удалось удалить файл";

std::string folderOf(const std::string& path);

// Why, in the user's words; the system's own text goes with it.
std::string reasonOfCode(DWORD code, const std::string& path) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return "файл не найден";
    case ERROR_PATH_NOT_FOUND: return "папка \"" + folderOf(path) + "\" не найдена";
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "на диске нет места";
    case ERROR_WRITE_PROTECT: return "диск защищён от записи";
    case ERROR_ACCESS_DENIED: return "нет прав на доступ к файлу или его папке, или файл только для чтения";
    case ERROR_FILENAME_EXCED_RANGE: return "слишком длинное имя";
    case ERROR_TOO_MANY_OPEN_FILES: return "открыто слишком много файлов";
    case ERROR_NOT_READY:
    case ERROR_CRC:
    case ERROR_GEN_FAILURE: return "ошибка чтения или записи диска (диск неисправен или отключён)";
    default: return "ошибка системы " + std::to_string(code);
  }
}

[[noreturn]] void fail(const char* what, const std::string& path, DWORD code) {
  const std::string text = systemText(code);
  if (reasonOf(code) == FileError::Reason::InUse)
    throw FileError("Файл \"" + path + "\" открыт другой программой.", FileError::Reason::InUse, int(code), text);
  throw FileError(failureText(what, path, reasonOfCode(code, path), text), reasonOf(code), int(code), text);
}

[[noreturn]] void failNotRegular(const std::string& path) {
  throw FileError(failureText(kOpen, path, "это не файл, а папка или устройство", {}), FileError::Reason::NotRegular, 0,
                  std::string());
}

HANDLE handleOf(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

size_t lastSeparator(const std::string& path) { return path.find_last_of("/\\"); }

std::string folderOf(const std::string& path) {
  const size_t at = lastSeparator(path);
  if (at == std::string::npos) return ".";
  return at == 0 || (at == 2 && path[1] == ':') ? path.substr(0, at + 1) : path.substr(0, at);
}

std::string nameOf(const std::string& path) {
  const size_t at = lastSeparator(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

std::string join(const std::string& folder, const std::string& name) {
  const char last = folder.back();
  return last == '/' || last == '\\' ? folder + name : folder + '\\' + name;
}

// The full wide form of a path; long ones get the prefix that lifts the
// MAX_PATH limit, so a name near the system's limit works in any folder.
std::wstring systemPath(const std::string& path) {
  std::wstring w = wide(path);
  std::replace(w.begin(), w.end(), L'/', L'\\');
  if (w.rfind(L"\\\\?\\", 0) == 0) return w;
  DWORD n = GetFullPathNameW(w.c_str(), 0, nullptr, nullptr);
  if (n == 0) return w;
  std::wstring full(n, L'\0');
  n = GetFullPathNameW(w.c_str(), n, full.data(), nullptr);
  full.resize(n);
  if (full.size() < MAX_PATH - 12) return full;
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

// Opens an existing file; a folder, pipe or device is refused before any read.
HANDLE openRegular(const std::string& path, DWORD access, DWORD share) {
  const std::wstring w = systemPath(path);
  const DWORD attributes = GetFileAttributesW(w.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) fail(kOpen, path, GetLastError());
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) failNotRegular(path);
  const HANDLE h = CreateFileW(w.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) fail(kOpen, path, GetLastError());
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    failNotRegular(path);
  }
  return h;
}

// Temporaries of `targetName` left by a killed writer: one whose writer
// still runs is open without sharing, so only orphans can be deleted.
void removeStaleTemporaries(const std::string& folder, const std::string& targetName) {
  WIN32_FIND_DATAW found;
  const HANDLE search = FindFirstFileW(systemPath(join(folder, ".*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = narrow(found.cFileName);
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && isTemporaryNameOf(name, targetName))
      DeleteFileW(systemPath(join(folder, name)).c_str());
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

}  // namespace

File File::openExclusive(const std::string& path, Access access) {
  File f;
  f.path_ = path;
  const DWORD rights = access == Access::ReadWrite ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  f.handle_ = reinterpret_cast<std::intptr_t>(openRegular(path, rights, 0));
  return f;
}

File File::openForReading(const std::string& path) {
  File f;
  f.path_ = path;
  f.handle_ = reinterpret_cast<std::intptr_t>(
      openRegular(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
  return f;
}

std::uint64_t File::size() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(handleOf(handle_), &size)) fail(kRead, path_, GetLastError());
  return std::uint64_t(size.QuadPart);
}

namespace {

FileIdentity identityOfHandle(HANDLE h, const std::string& path) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(h, &info)) fail(kRead, path, GetLastError());
  return {std::uint64_t(info.dwVolumeSerialNumber), std::uint64_t(info.nFileIndexHigh) << 32 | info.nFileIndexLow};
}

}  // namespace

FileIdentity File::identity() const { return identityOfHandle(handleOf(handle_), path_); }

FileIdentity identityOf(const std::string& path) {
  // No access rights asked: allowed even while another opener shares nothing.
  const HANDLE h = CreateFileW(systemPath(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) fail(kRead, path, GetLastError());
  try {
    const FileIdentity id = identityOfHandle(h, path);
    CloseHandle(h);
    return id;
  } catch (...) {
    CloseHandle(h);
    throw;
  }
}

std::size_t File::readAt(std::uint64_t offset, void* data, std::size_t length) const {
  char* p = static_cast<char*>(data);
  std::size_t done = 0;
  while (done < length) {
    const std::uint64_t at = offset + done;
    OVERLAPPED where{};
    where.Offset = DWORD(at);
    where.OffsetHigh = DWORD(at >> 32);
    const DWORD chunk = DWORD(std::min<std::size_t>(length - done, std::size_t(1) << 30));
    DWORD got = 0;
    if (!ReadFile(handleOf(handle_), p + done, chunk, &got, &where)) {
      const DWORD code = GetLastError();
      if (code == ERROR_HANDLE_EOF) break;
      fail(kRead, path_, code);
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

void File::writeAt(std::uint64_t offset, const void* data, std::size_t length) {
  const char* p = static_cast<const char*>(data);
  while (length > 0) {
    OVERLAPPED where{};
    where.Offset = DWORD(offset);
    where.OffsetHigh = DWORD(offset >> 32);
    const DWORD chunk = DWORD(std::min<std::size_t>(length, std::size_t(1) << 30));
    DWORD put = 0;
    if (!WriteFile(handleOf(handle_), p, chunk, &put, &where)) fail(kWrite, path_, GetLastError());
    if (put == 0) fail(kWrite, path_, ERROR_DISK_FULL);
    p += put;
    length -= put;
    offset += put;
  }
}

void File::resize(std::uint64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = LONGLONG(size);
  if (!SetFileInformationByHandle(handleOf(handle_), FileEndOfFileInfo, &end, sizeof end))
    fail(kWrite, path_, GetLastError());
}

void File::sync() {
  if (!FlushFileBuffers(handleOf(handle_))) fail(kWrite, path_, GetLastError());
}

void File::close() noexcept {
  if (handle_ == kClosed) return;
  CloseHandle(handleOf(handle_));
  handle_ = kClosed;
}

ReplacementFile::ReplacementFile(const std::string& target) : target_(target), folder_(folderOf(target)) {
  const std::string targetName = nameOf(target);
  removeStaleTemporaries(folder_, targetName);
  file_.path_ = target;
  for (int tries = 0;; ++tries) {
    const std::string candidate = join(folder_, temporaryNameFor(targetName));
    const HANDLE h = CreateFileW(systemPath(candidate).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      file_.handle_ = reinterpret_cast<std::intptr_t>(h);
      tempPath_ = candidate;
      return;
    }
    const DWORD code = GetLastError();
    if ((code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) || tries > 100) fail(kWrite, target, code);
  }
}

ReplacementFile::~ReplacementFile() {
  if (committed_) return;
  file_.close();
  if (!tempPath_.empty()) DeleteFileW(systemPath(tempPath_).c_str());
}

File ReplacementFile::commit(bool durable, File* heldTarget) {
  if (committed_ || !file_.isOpen()) throw FileError(failureText(kReplace, target_, "замена уже сделана", {}), FileError::Reason::Other, 0, {});
  if (durable) file_.sync();
  // Windows moves only closed files, and replaces only a target no one has open.
  file_.close();
  const bool held = heldTarget && heldTarget->isOpen();
  if (held) heldTarget->close();
  try {
    moveReplacing(tempPath_, target_, durable);
  } catch (const FileError&) {
    if (held) {
      try {
        *heldTarget = File::openExclusive(target_, File::Access::ReadWrite);
      } catch (const FileError&) {
        // Left closed: the caller learns of the failure anyway.
      }
    }
    throw;
  }
  tempPath_.clear();
  committed_ = true;
  return File::openExclusive(target_, File::Access::ReadWrite);
}

void moveReplacing(const std::string& from, const std::string& to, bool durable) {
  const DWORD flags = MOVEFILE_REPLACE_EXISTING | (durable ? MOVEFILE_WRITE_THROUGH : 0);
  if (!MoveFileExW(systemPath(from).c_str(), systemPath(to).c_str(), flags)) fail(kReplace, to, GetLastError());
}

void startWriteBack(int, std::uint64_t, std::uint64_t) noexcept {}

void failWritesPastTheFileSizeLimit() noexcept {}
std::string reasonTextOf(int code, const std::string& path) { return reasonOfCode(DWORD(code), path); }

void removeFile(const std::string& path) {
  if (DeleteFileW(systemPath(path).c_str())) return;
  const DWORD code = GetLastError();
  if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND) fail(kRemove, path, code);
}

}  // namespace hv
