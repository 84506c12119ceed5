// The lot figures of 333,000 selected rows (n, mean, deviation, min, max and
// the share inside piece limits, in one pass) against the grid footers over
// the same rows, both reading the values as a grid keeps them for its
// selection. Prints both times and their ratio.
#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bench_support.h"
#include "views/selection_stats.h"

namespace {

constexpr int kRows = 333'000;

using Row = std::array<std::optional<std::string>, 3>;

// Singles and series in turn, now and then a blank row, values 0,0..149,9.
std::vector<Row> makeRows() {
  std::vector<Row> rows(kRows);
  for (int i = 0; i < kRows; ++i) {
    const unsigned h = static_cast<unsigned>(i) * 2654435761u;
    const int w = static_cast<int>(h % 1500);
    auto text = [](int tenths) { return std::to_string(tenths / 10) + ',' + std::to_string(tenths % 10); };
    if (i % 97 == 0) continue;
    if ((h >> 16) % 2 == 0)
      rows[i][0] = text(w);
    else
      rows[i][1] = text(w), rows[i][2] = text(w + 20);
  }
  return rows;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const std::vector<Row> rows = makeRows();
  auto value = [&](qsizetype i, int q) -> std::optional<std::string_view> {
    const std::optional<std::string>& v = rows[size_t(i)][size_t(q)];
    if (!v) return std::nullopt;
    return std::string_view(*v);
  };
  const QChar separator(',');
  hv::SelectionFooters footers;
  hv::SelectionFigures figures;
  // Taken in turns, so that a busy machine weighs on both alike; the best of each.
  double footerTime = 1e9, figureTime = 1e9;
  for (int round = 0; round < 9; ++round) {
    footerTime = std::min(footerTime,
                          hv::bench::seconds([&] { footers = hv::selectionFootersOf(kRows, value, separator); }));
    figureTime = std::min(figureTime, hv::bench::seconds([&] {
      figures = hv::selectionFiguresOf(kRows, value, separator, hv::PieceRange{8.0, 16.0});
    }));
  }
  std::printf("rows: %d (pieces %d, series %d, skipped %d; mean %.2f, sd %.2f)\n", kRows, figures.n, figures.series,
              figures.skipped, figures.mean, figures.sd);
  std::printf("footers W, W_MIN, W_MAX: %.1f ms (%s)\n", footerTime * 1e3, qPrintable(footers.w));
  std::printf("lot figures, one pass:   %.1f ms\n", figureTime * 1e3);
  std::printf("ratio figures / footers: %.2f (at most 1.5)\n", figureTime / footerTime);
  return 0;
}
