#pragma once
// The table's failures that callers tell apart from the others.
#include "platform/error.h"

namespace hv {

// The file is no sound measurement table. why() is the damage alone
// ("файл слишком короткий"), for a text that names the file.
class TableDamagedError : public Error {
 public:
  TableDamagedError(const QString& text, const QString& why) : Error(text), why_(why) {}
  const QString& why() const { return why_; }

 private:
  QString why_;
};

// The table is written in a code page the program does not read; the text
// says which, without naming the file.
class TableCodePageError : public Error {
 public:
  using Error::Error;
};

// The table may be read but not written: a read-only file system, or a
// file the user may not write.
class TableReadOnlyError : public Error {
 public:
  using Error::Error;
};

// The table or its index needs more memory than there is.
class TableOutOfMemoryError : public Error {
 public:
  using Error::Error;
};

// Another program (or another TDbTable) holds the file.
class TableInUseError : public Error {
 public:
  using Error::Error;
};

// The file the table's name leads to is no longer the one we opened, or
// another program wrote its header: nothing was written into it.
class TableReplacedError : public Error {
 public:
  // `ownCopyIntact`: the file we opened still holds what we read (another
  // file was put under its name), so its rows can still be saved elsewhere.
  TableReplacedError(const QString& text, bool ownCopyIntact) : Error(text), ownCopyIntact_(ownCopyIntact) {}
  bool ownCopyIntact() const { return ownCopyIntact_; }

 private:
  bool ownCopyIntact_;
};

// A long write was given up on request before it changed anything.
class TableWriteCancelled : public Error {
 public:
  using Error::Error;
};

}  // namespace hv
