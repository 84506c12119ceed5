#pragma once
// TDataGrid: the archive grid. Rows come from a TDbTable on demand (only the
// rows on screen are read), with two-line titles carrying a per-column sort
// state, a footer row, multiple selection that keeps the BookmarkFields
// values of every selected row with its bookmark, per-column colours, and
// editing of the comment column written through the table.
#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>
#include <memory>
#include <optional>

#include "views/selected_rows.h"
#include "views/selection_stats.h"
#include "store/db_table.h"
#include "views/grid_layout.h"
#include "views/archive_table.h"

class QMenu;
class QTableView;

namespace hv {

struct TGridColumn {
  QString fieldName;
  QString caption;
  int width = 75;  // design width; AutoColumnFit scales the shown widths
  bool readOnly = true;
  ColumnAlignment alignment = ColumnAlignment::Default;  // Default: numbers right, text left
  QColor color;  // invalid = clNone
  TitleState titleState = TitleState::None;
  int sortOrder = 0;
  QString footerText;
  int footerState = 0;
  int options = 0;
  QString font;  // QFont::toString(); empty = the grid's font
};

class TDataGridModel;
class TDataGridView;
class TDataGridFooter;

class TDataGrid : public QWidget {
  Q_OBJECT

 public:
  using Bookmark = TDbTable::Bookmark;

  explicit TDataGrid(QWidget* parent = nullptr);
  ~TDataGrid() override;

  // --- binding --------------------------------------------------------
  void setTable(TDbTable* table);  // not owned; nullptr detaches
  TDbTable* table() const { return table_; }
  // Re-reads the row count and drops cached rows: call after the table's
  // filter, order, rows or open state changed. Keeps the selection.
  void tableChanged();
  // While a worker thread changes the table the grid reads nothing from it:
  // it paints the rows that were on screen when it became busy and leaves
  // the others blank. Made free again, it is to be told of the table's
  // changes (tableChanged).
  void setBusy(bool busy);
  bool busy() const { return busy_; }

  // --- columns and properties -----------------------------------------
  void setColumns(const QList<TGridColumn>& columns);
  int columnCount() const { return static_cast<int>(columns_.size()); }
  const TGridColumn& column(int i) const { return columns_[i]; }
  int columnOf(const QString& fieldName) const;  // -1 when absent
  int columnWidth(int i) const { return columns_[i].width; }
  void setColumnWidth(int i, int width);
  int shownColumnWidth(int i) const;  // after AutoColumnFit
  QColor columnColor(int i) const { return columns_[i].color; }
  void setColumnColor(int i, const QColor& color);  // invalid colour = clNone
  bool autoColumnFit() const { return autoFit_; }
  void setAutoColumnFit(bool on);
  const QStringList& bookmarkFields() const { return bookmarkFields_; }
  void setBookmarkFields(const QStringList& fields);  // kBookmarkFields by default
  void setPopupMenu(QMenu* menu) { popup_ = menu; }
  QMenu* popupMenu() const { return popup_; }
  QColor gridLineColor() const;

  // --- titles ---------------------------------------------------------
  TitleState titleState(int column) const { return columns_[column].titleState; }
  // Sets a state without the event; a state other than None clears the others.
  void setTitleState(int column, TitleState state);
  void clearTitleStates();
  // A click on a title: None -> Up -> Down -> Up; with Ctrl: None. Raises titleStateChanged.
  void titleClick(int column, bool ctrl);

  // --- footers --------------------------------------------------------
  QString footerText(int column) const { return columns_[column].footerText; }
  QString footerText(const QString& fieldName) const;
  void setFooterText(int column, const QString& text);
  void setFooterText(const QString& fieldName, const QString& text);
  SelectionFooters footers() const;  // W, W_MIN, W_MAX

  // --- current cell ---------------------------------------------------
  int rowCount() const;
  int currentRow() const;  // -1 when none
  int currentColumn() const;  // the focused cell's column (0 when none)
  void setCurrentCell(int row, int column);

  // --- selection ------------------------------------------------------
  // What a click on a row does: alone selects it; Ctrl toggles it; Shift
  // selects from the anchor to it. Raises selectionChanged.
  void clickRow(int row, Qt::KeyboardModifiers modifiers);
  void selectAll();  // Ctrl+A
  // Drops the explicit selection; raises selectionChanged when told.
  void clearSelection(bool notify = true);
  bool hasExplicitSelection() const;
  // The number of selected rows; the current row counts as one when none is selected.
  int selectedCount() const;
  Bookmark selectedBookmark(int i) const;
  QList<Bookmark> selectedBookmarks() const;
  // The BookmarkFields values stored with selected row i (in selection order).
  QList<std::optional<QString>> selectedValues(int i) const;
  // For the chart and the statistics: every selected row's W, W_MIN, W_MAX, DATE, TIME.
  QList<SelectedRow> selectedRows() const;
  bool isRowSelected(int row) const;
  // The footers W, W_MIN, W_MAX for the selection as it stands (see selection_stats.h).
  SelectionFooters selectionStatistics() const;
  // The lot figures of the same selection, read in one pass as the footers are.
  SelectionFigures selectionFigures() const;

  // --- editing --------------------------------------------------------
  // Commits an open editor and posts a row edit in progress.
  void postEdit();
  // Closes an open editor without committing and cancels a row edit in progress.
  void dropEdit();

  // --- layout ---------------------------------------------------------
  QList<ColumnLayout> layout() const;
  // Copies each stored column onto the grid column with the same field name;
  // the others are left alone. Title states are display only.
  void applyLayout(const QList<ColumnLayout>& stored);

  QTableView* view() const;

 signals:
  void titleStateChanged(int column);
  void selectionChanged();
  void editStarted();
  // Reading the table's rows failed because the file is damaged (cut short
  // by another program, say); raised at each failing read, while painting.
  void readFailed(const QString& text);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend class TDataGridModel;
  friend class TDataGridView;
  friend class TDataGridFooter;
  friend class TitleHeader;
  friend class CommentDelegate;

  struct Selection;
  void fitColumns();
  // The user resized a column while the grid fits its columns.
  void columnResized(int column, int size);
  int minFitWidth() const;
  void rowLeft(int oldRow, int newRow);
  void keyboardMoved(int row, Qt::KeyboardModifiers modifiers);
  void pointAt(int row, int column);
  void selectRange(int from, int to);
  bool addSelected(int row);
  QList<std::optional<QString>> currentRowValues() const;
  void notifySelection();
  void updateFooter();
  // The footers and figures of the explicit selection, worked out once
  // for each state of it (the footers and the status bar both ask).
  const SelectionSummary& selectionSummary() const;

  // The table, unless the grid may not read it now.
  TDbTable* readable() const { return busy_ ? nullptr : table_; }

  TDbTable* table_ = nullptr;
  bool busy_ = false;
  QList<TGridColumn> columns_;
  QStringList bookmarkFields_;
  bool autoFit_ = true;
  bool fitting_ = false;
  int anchorRow_ = -1;
  QMenu* popup_ = nullptr;
  std::unique_ptr<Selection> sel_;
  mutable std::optional<SelectionSummary> summary_;
  mutable std::uint64_t summaryVersion_ = 0;
  mutable QChar summarySeparator_;
  TDataGridModel* model_ = nullptr;
  TDataGridView* view_ = nullptr;
  TDataGridFooter* footer_ = nullptr;
};

}  // namespace hv
