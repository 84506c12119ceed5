#pragma once
// File names as the user gave them. Qt spells a file name as UTF-16 text and
// turns it into bytes as UTF-8, so on Linux a name that is not valid UTF-8
// (a stray byte 0xFF, an old Latin-1 name) would lose bytes on the way. Here
// such a name keeps each stray byte as a lone surrogate (U+DC80 + byte), and
// FilePath gives it a path that Qt can spell and that leads to the same file.
// On Windows names are UTF-16 already and pass through unchanged.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <optional>

namespace hv {

// The program's arguments, argv[0] included, without losing a byte.
QStringList commandLineArguments(int argc, char** argv);

// The bytes of a name for the system, stray bytes restored.
QByteArray localFileName(const QString& name);
bool hasStrayBytes(const QString& name);

// Whether two names lead to the same file: the same device and inode when
// both exist (links and "./" forms included), the same name in the same
// folder when neither does.
bool sameFile(const QString& a, const QString& b);

// A path for Qt and the table engine that leads where `name` leads. Names Qt
// can spell are used as they are.
class FilePath {
 public:
  // Read: a file that exists, read or changed in place. Write: a file made
  // or replaced; when Qt can't spell its name it is written under a stand-in
  // name in the same folder and moved to its own name by commit().
  enum Use { Read, Write };
  FilePath(const QString& name, Use use);
  ~FilePath();  // a stand-in that was not committed is removed
  FilePath(const FilePath&) = delete;
  FilePath& operator=(const FilePath&) = delete;

  QString path() const { return path_; }
  // Puts a finished file under its own name; false (with the reason) on failure.
  bool commit(QString* error);

 private:
  QString path_;
  int folder_ = -1;              // the folder's descriptor, when the path goes through it
  int file_ = -1;                // the file's descriptor, when the path goes through it
  QByteArray standIn_, target_;  // names in folder_, for Write
};

}  // namespace hv
