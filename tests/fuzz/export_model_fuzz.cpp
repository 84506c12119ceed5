// Random GetRange calls and values against the model's promises (ranges never
// overlap, stay ordered by top row, the used area covers every rectangle), then
// the writer over the result: its records must chain to the end of the stream.
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "export/workbook.h"
#include "export/workbook_writers.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  hv::TXlsWorkbook book;
  hv::TXlsWorksheet* sheet = &book.AddSheet();
  std::size_t i = 0;
  const auto next = [&]() -> int { return i < size ? data[i++] : 0; };
  while (i + 5 <= size) {
    const int op = next();
    if (op == 0xFF) {
      sheet = &book.AddSheet();
      continue;
    }
    const int left = next() % 40, top = next() % 70;
    const int right = left + next() % 4, bottom = top + next() % 5;
    hv::TXlsRange r = sheet->GetRange(left, top, right, bottom);
    check(r.left() == left && r.top() == top && r.right() == right && r.bottom() == bottom);
    switch (op % 4) {
      case 0: r.setValue(hv::Value(std::int32_t(op))); break;
      case 1: r.setValue(QString(op % 9, QChar(0x0410 + op % 32))); break;
      case 2: r.format().Font.color = hv::rgbColor(op, left, top); break;
      default: break;
    }
    const auto& ranges = sheet->Ranges();
    int tallest = 0;
    for (std::size_t a = 0; a < ranges.size(); ++a) {
      tallest = std::max(tallest, ranges[a].bottom() - ranges[a].top() + 1);
      if (a > 0) check(ranges[a - 1].top() <= ranges[a].top());
      for (std::size_t b = a + 1; b < ranges.size() && ranges[b].top() <= ranges[a].bottom(); ++b)
        check(ranges[b].left() > ranges[a].right() || ranges[b].right() < ranges[a].left());
    }
    check(sheet->MaxRangeHeight() >= tallest);
    const hv::TXlsArea& used = sheet->UsedArea();
    check(used.firstColumn <= left && used.firstRow <= top && used.lastColumn >= right && used.lastRow >= bottom);
  }
  const QByteArray stream = hv::TBiff8Writer().streamBytes(book);
  qsizetype at = 0;
  while (at + 4 <= stream.size()) at += 4 + (static_cast<unsigned char>(stream[at + 2]) | static_cast<unsigned char>(stream[at + 3]) << 8);
  check(at == stream.size());
  return 0;
}
