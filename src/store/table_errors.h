#pragma once
// The table's failures that callers tell apart from the others.
#include "platform/error.h"

namespace hv {

// The file is no sound measurement table.
class TableDamagedError : public Error {
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

}  // namespace hv
