#pragma once
// The production index file (.mdx) in the published dBase IV layout: a file
// header, a tag table, and for each tag a tag header and a B-tree of
// 1024-byte blocks. Our own order is authoritative; the file is written so
// that other dBase tools can read it, and read back by the same code.
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "store/sort_keys.h"

namespace hv::store {

constexpr int kMdxMaxTags = 47;
constexpr int kMdxBlockSize = 1024;

struct MdxTagOut {
  QString name;  // at most 10 characters
  QByteArray expression;
  int keyLength = 0;
  bool descending = false;
  bool fieldKey = false;  // the expression is a bare field name
  const std::vector<std::uint32_t>* order = nullptr;  // 0-based record numbers in tag order
  // The keys: the one at each position of the order, or made one record at a time.
  std::function<void(std::uint32_t position, char* key)> keyAt;
  std::function<void(std::uint32_t record, char* key)> key;
};

// The whole .mdx as bytes. `tableBaseName` is the table's file name without
// folder and extension.
QByteArray buildMdx(const QString& tableBaseName, const std::vector<MdxTagOut>& tags);

struct MdxTagIn {
  QString name;
  QByteArray expression;
  bool descending = false;
  int keyLength = 0;
  std::vector<std::uint32_t> records;  // 0-based, in the tree's order
  QByteArray keys;                      // keyLength bytes per record, same order
};

// Where an .mdx is read from: its size, and reading `length` bytes at
// `offset` (false when they are not all there).
struct MdxSource {
  std::uint64_t size = 0;
  std::function<bool(std::uint64_t offset, std::size_t length, unsigned char* out)> read;
};

struct MdxLimits {
  std::uint64_t maxKeysPerTag = UINT64_MAX;  // a tag with more is damaged
  bool keys = true;                          // fill MdxTagIn::keys
};

// Reads an .mdx block by block, never beyond the pages its header declares;
// throws hv::Error on anything that does not fit the layout or the limits.
std::vector<MdxTagIn> readMdx(const MdxSource& source, const MdxLimits& limits);
std::vector<MdxTagIn> readMdx(const QByteArray& bytes);

}  // namespace hv::store
