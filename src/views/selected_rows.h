#pragma once
// What an archive grid hands on from its selection: for each selected row, in
// selection order, the values the grid keeps for "W;W_MIN;W_MAX;DATE;TIME"
// (null = blank field), and the grid's footer texts of W, W_MIN, W_MAX. The
// grids fill it; the statistics and the chart read it.
#include <QList>
#include <QString>
#include <optional>

namespace hv {

struct SelectedRow {
  std::optional<QString> w, wMin, wMax, date, time;
};

struct SelectionFooters {
  QString w, wMin, wMax;
};

}  // namespace hv
