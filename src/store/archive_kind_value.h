#pragma once
// ArchiveKind as a plain value, without Qt: the meter's memory image and the
// Windows tests build with it. The names made after a kind are in archive_kind.h.
#include <array>

namespace hv {

enum class ArchiveKind : int { Wood = 0, Concrete = 1, Bulk = 2 };

inline constexpr std::array<ArchiveKind, 3> kArchiveKinds = {ArchiveKind::Wood, ArchiveKind::Concrete,
                                                             ArchiveKind::Bulk};

// The N_ARC value; also the kind's place among the tabs, grids and sheets.
constexpr int archiveNumber(ArchiveKind kind) {
  return static_cast<int>(kind);
}
// The kind at a place 0..2 (an N_ARC value).
constexpr ArchiveKind archiveKindAt(int number) {
  return static_cast<ArchiveKind>(number);
}

}  // namespace hv
