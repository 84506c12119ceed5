#include "platform/file_names.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace hv {

namespace {

constexpr char16_t kStrayBase = 0xDC00;  // a stray byte b (0x80..0xFF) is U+DC00 + b

bool isStray(const QString& s, qsizetype i) {
  const char16_t c = s.at(i).unicode();
  return c >= kStrayBase + 0x80 && c <= kStrayBase + 0xFF && (i == 0 || !s.at(i - 1).isHighSurrogate());
}

}  // namespace

QByteArray localFileName(const QString& name) {
  QByteArray bytes;
  qsizetype run = 0;
  for (qsizetype i = 0; i < name.size(); ++i) {
    if (!isStray(name, i)) continue;
    bytes += QFile::encodeName(name.mid(run, i - run));
    bytes += char(name.at(i).unicode() - kStrayBase);
    run = i + 1;
  }
  return bytes + QFile::encodeName(name.mid(run));
}

bool hasStrayBytes(const QString& name) {
  for (qsizetype i = 0; i < name.size(); ++i)
    if (isStray(name, i)) return true;
  return false;
}

#ifdef Q_OS_WIN

QStringList commandLineArguments(int, char**) {
  return QCoreApplication::arguments();
}

namespace {
struct FileKey {
  DWORD volume = 0, high = 0, low = 0;
};
std::optional<FileKey> fileKey(const QString& name) {
  const HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(name.utf16()), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool ok = GetFileInformationByHandle(h, &info);
  CloseHandle(h);
  if (!ok) return std::nullopt;
  return FileKey{info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
}
bool sameKey(const std::optional<FileKey>& a, const std::optional<FileKey>& b) {
  return a && b && a->volume == b->volume && a->high == b->high && a->low == b->low;
}
}  // namespace

bool sameFile(const QString& a, const QString& b) {
  const auto ka = fileKey(a), kb = fileKey(b);
  if (ka || kb) return sameKey(ka, kb);
  const QFileInfo fa(a), fb(b);
  return fa.fileName().compare(fb.fileName(), Qt::CaseInsensitive) == 0 &&
         sameKey(fileKey(fa.absolutePath()), fileKey(fb.absolutePath()));
}

FilePath::FilePath(const QString& name, Use) : path_(name) {}
FilePath::~FilePath() = default;
bool FilePath::commit(QString*) {
  return true;
}

#else

namespace {

// Length of the valid UTF-8 sequence at p (end excluded), 0 when there is none.
int utf8SequenceLength(const unsigned char* p, const unsigned char* end) {
  const unsigned char c = p[0];
  int n = 0;
  char32_t cp = 0;
  if (c < 0x80) return 1;
  if (c >= 0xC2 && c <= 0xDF)
    n = 2, cp = c & 0x1F;
  else if (c >= 0xE0 && c <= 0xEF)
    n = 3, cp = c & 0x0F;
  else if (c >= 0xF0 && c <= 0xF4)
    n = 4, cp = c & 0x07;
  else
    return 0;
  if (end - p < n) return 0;
  for (int i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (p[i] & 0x3F);
  }
  const bool overlong = (n == 3 && cp < 0x800) || (n == 4 && cp < 0x10000);
  if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
  return n;
}

QString decodeName(const QByteArray& bytes) {
  QString s;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
  const auto* end = p + bytes.size();
  const auto* run = p;  // start of the valid text not yet copied
  while (p < end) {
    if (const int n = utf8SequenceLength(p, end)) {
      p += n;
      continue;
    }
    s += QString::fromUtf8(reinterpret_cast<const char*>(run), p - run);
    s += QChar(char16_t(kStrayBase + *p));
    run = ++p;
  }
  return s + QString::fromUtf8(reinterpret_cast<const char*>(run), p - run);
}

std::optional<struct stat> statOf(const QByteArray& path) {
  struct stat st {};
  if (::stat(path.constData(), &st) != 0) return std::nullopt;
  return st;
}

bool sameInode(const std::optional<struct stat>& a, const std::optional<struct stat>& b) {
  return a && b && a->st_dev == b->st_dev && a->st_ino == b->st_ino;
}

// "dir/name" -> {"dir", "name"}; a name without a folder lies in ".".
std::pair<QByteArray, QByteArray> splitName(const QByteArray& path) {
  const qsizetype slash = path.lastIndexOf('/');
  if (slash < 0) return {QByteArrayLiteral("."), path};
  return {slash == 0 ? QByteArrayLiteral("/") : path.left(slash), path.mid(slash + 1)};
}

QString procPath(int fd) {
  return QStringLiteral("/proc/self/fd/%1").arg(fd);
}

}  // namespace

QStringList commandLineArguments(int argc, char** argv) {
  QStringList args;
  for (int i = 0; i < argc; ++i) args.append(decodeName(QByteArray(argv[i])));
  return args;
}

bool sameFile(const QString& a, const QString& b) {
  const QByteArray pa = localFileName(a), pb = localFileName(b);
  const auto sa = statOf(pa), sb = statOf(pb);
  if (sa || sb) return sameInode(sa, sb);
  const auto [folderA, nameA] = splitName(pa);
  const auto [folderB, nameB] = splitName(pb);
  return nameA == nameB && sameInode(statOf(folderA), statOf(folderB));
}

FilePath::FilePath(const QString& name, Use use) : path_(name) {
  if (!hasStrayBytes(name)) return;
  // Left as it is when the folder can't be reached: the caller's open then fails and says so.
  const auto [folder, base] = splitName(localFileName(name));
  folder_ = ::open(folder.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (folder_ < 0) return;
  const QString baseText = decodeName(base);
  if (!hasStrayBytes(baseText)) {
    path_ = procPath(folder_) + QChar('/') + baseText;
    return;
  }
  if (use == Read) {
    file_ = ::openat(folder_, base.constData(), O_PATH | O_CLOEXEC);
    if (file_ >= 0) path_ = procPath(file_);
    return;
  }
  // A short stand-in that keeps the extension, which decides some formats.
  const QString suffix = QFileInfo(baseText).suffix();
  static int made = 0;
  standIn_ = ".hygrovan-name-" + QByteArray::number(qint64(::getpid())) + '-' + QByteArray::number(++made);
  if (!suffix.isEmpty() && !hasStrayBytes(suffix) && suffix.size() <= 8) standIn_ += '.' + suffix.toUtf8();
  target_ = base;
  path_ = procPath(folder_) + QChar('/') + QString::fromUtf8(standIn_);
}

FilePath::~FilePath() {
  if (!standIn_.isEmpty()) ::unlinkat(folder_, standIn_.constData(), 0);
  if (file_ >= 0) ::close(file_);
  if (folder_ >= 0) ::close(folder_);
}

bool FilePath::commit(QString* error) {
  if (standIn_.isEmpty()) return true;
  if (::renameat(folder_, standIn_.constData(), folder_, target_.constData()) != 0) {
    if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }
  standIn_.clear();
  return true;
}

#endif

}  // namespace hv
