#include "store/mdx_file.h"

#include <QFileInfo>
#include <cstring>
#include <set>

#include "platform/error.h"
#include "store/dbf_file.h"

namespace hv::store {
namespace {

constexpr int kPage = 512;
constexpr int kPagesPerBlock = kMdxBlockSize / kPage;
constexpr int kTagTableOffset = 544;
constexpr int kTagEntrySize = 32;
constexpr int kFirstTagPage = 4;  // pages 0..3 hold the file header and tag table
constexpr unsigned char kFormatDescending = 0x08;
constexpr unsigned char kFormatField = 0x10;
constexpr int kMaxDepth = 32;

int itemLength(int keyLength) { return (keyLength + 4 + 3) / 4 * 4; }
int maxKeysPerNode(int item) { return (kMdxBlockSize - 12) / item; }

[[noreturn]] void bad(const char* why) { throw hv::Error(QStringLiteral("Индексный файл повреждён: ") + QLatin1String(why)); }

// Builds one tag's B-tree into `out`, starting at page `firstPage`; returns the root page.
std::uint32_t buildTree(const MdxTagOut& t, std::uint32_t firstPage, QByteArray& out) {
  const int item = itemLength(t.keyLength);
  const int maxKeys = maxKeysPerNode(item);
  std::uint32_t nextPage = firstPage;
  auto newBlock = [&] {
    out.append(kMdxBlockSize, '\0');
    nextPage += kPagesPerBlock;
  };
  struct Child {
    std::uint32_t page;
    QByteArray lastKey;
  };
  std::vector<Child> level;
  const auto& order = *t.order;
  std::vector<char> key(size_t(t.keyLength) + 1);
  size_t i = 0;
  do {  // leaves; an empty tag still has one (empty) leaf
    const std::uint32_t page = nextPage;
    const qsizetype at = out.size();
    newBlock();
    unsigned char* b = reinterpret_cast<unsigned char*>(out.data() + at);
    int n = 0;
    for (; n < maxKeys && i < order.size(); ++n, ++i) {
      unsigned char* it = b + 8 + n * item;
      putU32(it, order[i] + 1);
      if (t.keyAt)
        t.keyAt(std::uint32_t(i), key.data());
      else
        t.key(order[i], key.data());
      std::memcpy(it + 4, key.data(), size_t(t.keyLength));
    }
    putU32(b, std::uint32_t(n));
    // The pointer after the last key stays 0: that marks a leaf.
    level.push_back({page, n ? QByteArray(key.data(), t.keyLength) : QByteArray(t.keyLength, ' ')});
  } while (i < order.size());

  while (level.size() > 1) {
    std::vector<Child> up;
    const size_t perNode = size_t(maxKeys) + 1;
    for (size_t c = 0; c < level.size(); c += perNode) {
      const size_t end = std::min(level.size(), c + perNode);
      const std::uint32_t page = nextPage;
      const qsizetype at = out.size();
      newBlock();
      unsigned char* b = reinterpret_cast<unsigned char*>(out.data() + at);
      const int keys = int(end - c) - 1;
      putU32(b, std::uint32_t(keys));
      for (int k = 0; k < keys; ++k) {
        unsigned char* it = b + 8 + k * item;
        putU32(it, level[c + size_t(k)].page);
        std::memcpy(it + 4, level[c + size_t(k)].lastKey.constData(), size_t(t.keyLength));
      }
      putU32(b + 8 + keys * item, level[end - 1].page);
      up.push_back({page, level[end - 1].lastKey});
    }
    level.swap(up);
  }
  return level.front().page;
}

// Threads of the tag table: a binary search tree over the tag names.
void threadTags(unsigned char* table, const std::vector<QByteArray>& names) {
  for (size_t i = 1; i < names.size(); ++i) {
    size_t at = 0;
    for (;;) {
      unsigned char* e = table + at * kTagEntrySize;
      const int slot = names[i] < names[at] ? 16 : 17;
      if (e[slot] == 0) {
        e[slot] = static_cast<unsigned char>(i + 1);
        table[i * kTagEntrySize + 18] = static_cast<unsigned char>(at + 1);
        break;
      }
      at = size_t(e[slot]) - 1;
    }
  }
}

}  // namespace

QByteArray buildMdx(const QString& tableBaseName, const std::vector<MdxTagOut>& tags) {
  if (tags.size() > size_t(kMdxMaxTags)) throw hv::Error(QStringLiteral("Слишком много индексов."));
  QByteArray out(kFirstTagPage * kPage, '\0');
  qsizetype blocks = 0;
  for (const auto& t : tags) {
    const qsizetype perLeaf = maxKeysPerNode(itemLength(t.keyLength));
    qsizetype level = std::max<qsizetype>(1, (qsizetype(t.order->size()) + perLeaf - 1) / perLeaf);
    blocks += 1 + level;
    while (level > 1) {
      level = (level + perLeaf) / (perLeaf + 1);
      blocks += level;
    }
  }
  out.reserve(out.size() + blocks * kMdxBlockSize);
  std::uint32_t page = kFirstTagPage;
  std::vector<std::uint32_t> headerPages;
  for (const auto& t : tags) {
    const std::uint32_t headerPage = page;
    headerPages.push_back(headerPage);
    const qsizetype at = out.size();
    out.append(kMdxBlockSize, '\0');
    page += kPagesPerBlock;
    const std::uint32_t root = buildTree(t, page, out);
    page = std::uint32_t(out.size() / kPage);
    auto* h = reinterpret_cast<unsigned char*>(out.data() + at);
    putU32(h, root);
    putU32(h + 4, page - headerPage);
    h[8] = static_cast<unsigned char>((t.descending ? kFormatDescending : 0) | (t.fieldKey ? kFormatField : 0));
    h[9] = 'C';
    putU16(h + 12, unsigned(t.keyLength));
    putU16(h + 14, unsigned(maxKeysPerNode(itemLength(t.keyLength))));
    putU16(h + 18, unsigned(itemLength(t.keyLength)));
    std::memcpy(h + 24, t.expression.constData(), size_t(std::min<qsizetype>(t.expression.size(), 100)));
  }
  auto* p = reinterpret_cast<unsigned char*>(out.data());
  unsigned char today[3];
  todayBytes(today);
  p[0] = 2;
  std::memcpy(p + 1, today, 3);
  const QByteArray base = tableBaseName.toLatin1().left(16).toUpper();
  std::memcpy(p + 4, base.constData(), size_t(base.size()));
  putU16(p + 20, kPagesPerBlock);
  putU16(p + 22, kMdxBlockSize);
  p[24] = 1;  // production index
  p[25] = 48;
  p[26] = kTagEntrySize;
  putU16(p + 28, unsigned(tags.size()));
  putU32(p + 32, page);
  std::memcpy(p + 44, today, 3);
  std::vector<QByteArray> names;
  for (size_t i = 0; i < tags.size(); ++i) {
    unsigned char* e = p + kTagTableOffset + i * kTagEntrySize;
    putU32(e, headerPages[i]);
    const QByteArray name = tags[i].name.toLatin1().toUpper().left(10);
    names.push_back(name);
    std::memcpy(e + 4, name.constData(), size_t(name.size()));
    e[15] = static_cast<unsigned char>((tags[i].descending ? kFormatDescending : 0) | (tags[i].fieldKey ? kFormatField : 0));
    e[19] = 0x02;
    e[20] = 'C';
  }
  threadTags(p + kTagTableOffset, names);
  return out;
}

std::vector<MdxTagIn> readMdx(const MdxSource& source, const MdxLimits& limits) {
  constexpr std::size_t kHeaderBytes = std::size_t(kFirstTagPage) * kPage;  // header and tag table
  unsigned char p[kHeaderBytes];
  if (source.size < kHeaderBytes || !source.read(0, kHeaderBytes, p)) bad("too short");
  // Nothing beyond the pages the header says the file has is ever read.
  const std::uint64_t size = std::uint64_t(getU32(p + 32)) * kPage;
  if (size < kHeaderBytes || size > source.size) bad("the header does not describe the file");
  const unsigned pagesPerBlock = getU16(p + 20);
  const unsigned blockSize = getU16(p + 22);
  if (pagesPerBlock < 1 || pagesPerBlock > 64 || blockSize != pagesPerBlock * kPage) bad("bad block size");
  const unsigned count = getU16(p + 28);
  if (count > unsigned(kMdxMaxTags)) bad("too many tags");
  std::vector<MdxTagIn> tags;
  std::vector<unsigned char> blocks(std::size_t(blockSize) * (kMaxDepth + 1));  // one per tree level
  for (unsigned i = 0; i < count; ++i) {
    const unsigned char* e = p + kTagTableOffset + i * kTagEntrySize;
    MdxTagIn t;
    int nameLength = 0;
    while (nameLength < 11 && e[4 + nameLength] != 0) ++nameLength;
    t.name = QString::fromLatin1(reinterpret_cast<const char*>(e + 4), nameLength).trimmed();
    const std::uint64_t headerAt = std::uint64_t(getU32(e)) * kPage;
    unsigned char h[kPage];
    if (headerAt < kHeaderBytes || headerAt + kPage > size || !source.read(headerAt, kPage, h))
      bad("tag header outside the file");
    t.descending = (h[8] & kFormatDescending) != 0;
    t.keyLength = int(getU16(h + 12));
    const int item = int(getU16(h + 18));
    if (h[9] != 'C') bad("unsupported key type");
    if (t.keyLength < 1 || t.keyLength > 100 || item < t.keyLength + 4 || item > int(blockSize) - 12) bad("bad key length");
    int exprLength = 0;
    while (exprLength < 100 && h[24 + exprLength] != 0) ++exprLength;
    t.expression = QByteArray(reinterpret_cast<const char*>(h + 24), exprLength);
    const int maxKeys = (int(blockSize) - 12) / item;

    std::set<std::uint32_t> visited;
    // Depth-first, left to right: the leaves' record numbers in key order.
    // Below the root every leaf holds a key, so the keys bound the blocks read.
    std::function<void(std::uint32_t, int)> visit = [&](std::uint32_t node, int depth) {
      if (depth > kMaxDepth) bad("the tree is too deep");
      if (!visited.insert(node).second) bad("a block is used twice");
      const std::uint64_t at = std::uint64_t(node) * kPage;
      unsigned char* b = blocks.data() + std::size_t(depth) * blockSize;
      if (at < kHeaderBytes || at + blockSize > size || !source.read(at, blockSize, b)) bad("a block lies outside the file");
      const std::uint32_t n = getU32(b);
      if (n > std::uint32_t(maxKeys)) bad("a block holds too many keys");
      const std::uint32_t after = getU32(b + 8 + n * std::uint32_t(item));
      if (after == 0) {
        if (n == 0 && depth > 0) bad("an empty leaf below the root");
        if (t.records.size() + n > limits.maxKeysPerTag) bad("more keys than the table has rows");
        for (std::uint32_t k = 0; k < n; ++k) {
          const unsigned char* it = b + 8 + k * std::uint32_t(item);
          const std::uint32_t record = getU32(it);
          if (record == 0) bad("record number 0");
          t.records.push_back(record - 1);
          if (limits.keys) t.keys.append(reinterpret_cast<const char*>(it + 4), t.keyLength);
        }
      } else {
        for (std::uint32_t k = 0; k <= n; ++k) visit(getU32(b + 8 + k * std::uint32_t(item)), depth + 1);
      }
    };
    visit(getU32(h), 0);
    tags.push_back(std::move(t));
  }
  return tags;
}

std::vector<MdxTagIn> readMdx(const QByteArray& bytes) {
  MdxSource source;
  source.size = std::uint64_t(bytes.size());
  source.read = [&bytes](std::uint64_t offset, std::size_t length, unsigned char* out) {
    if (offset > std::uint64_t(bytes.size()) || length > std::uint64_t(bytes.size()) - offset) return false;
    std::memcpy(out, bytes.constData() + offset, length);
    return true;
  };
  return readMdx(source, {});
}

}  // namespace hv::store
