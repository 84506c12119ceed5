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

}  // namespace hv
