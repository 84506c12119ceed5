#include "views/data_grid.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/codepage.h"
#include "platform/regional.h"
#include "platform/ui.h"
#include "views/data_grid_model.h"
#include "views/selection_stats.h"

namespace hv {

namespace {
const QColor kSilver(0xC0, 0xC0, 0xC0);
const QString kComment = fieldName(MeasurementField::Comment);
constexpr int kCommentWidth = fieldSpec(MeasurementField::Comment).width;  // characters the field holds
// No column narrower than this while the grid fits its columns: every one
// stays in sight and can be clicked (the comment column is the one edited).
constexpr int kMinFitWidth = 24;

// Widths in proportion to the weights that add up to total exactly; a column
// whose share would fall below minWidth gets minWidth and the others share
// the rest.
QList<int> fitWidths(const QList<int>& weights, int total, int minWidth) {
  const int n = static_cast<int>(weights.size());
  QList<int> out(n, 0);
  if (n == 0 || total <= 0) return out;
  minWidth = std::min(minWidth, total / n);
  QList<bool> floor(n, false);
  for (bool again = true; again;) {
    again = false;
    qint64 weight = 0;
    qint64 room = total;
    for (int i = 0; i < n; ++i) {
      if (floor[i]) room -= minWidth;
      else weight += std::max(1, weights[i]);
    }
    qint64 before = 0;
    int x = 0;
    for (int i = 0; i < n; ++i) {
      if (floor[i]) {
        out[i] = minWidth;
        continue;
      }
      before += std::max(1, weights[i]);
      const int end = static_cast<int>(before * room / weight);
      out[i] = end - x;
      x = end;
      if (out[i] < minWidth) floor[i] = again = true;
    }
  }
  return out;
}
}  // namespace

// ---------------------------------------------------------------------------
// The selected rows: bookmark, a mark per record for painting, and the
// BookmarkFields values packed into one buffer (a million selected rows stay
// a few tens of megabytes).
struct TDataGrid::Selection {
  std::vector<Bookmark> records;
  std::vector<qsizetype> offsets;
  std::string pool;  // per value: 16-bit length (0xFFFF = null), then UTF-8 bytes
  std::vector<bool> mark;
  std::uint64_t version = 0;  // counts changes, for what is worked out from the selection

  qsizetype size() const { return static_cast<qsizetype>(records.size()); }
  bool empty() const { return records.empty(); }
  void clear() {
    records.clear();
    offsets.clear();
    pool.clear();
    mark.clear();
    ++version;
  }
  // Distinct records, all at once; their values follow through addValue().
  void takeRecords(std::vector<Bookmark> rows) {
    clear();
    records = std::move(rows);
    Bookmark top = -1;
    for (Bookmark b : records) top = std::max(top, b);
    mark.assign(static_cast<size_t>(top + 1), false);
    for (Bookmark b : records) mark[static_cast<size_t>(b)] = true;
  }
  bool contains(Bookmark b) const { return b >= 0 && static_cast<size_t>(b) < mark.size() && mark[b]; }
  // A new row; its values follow through addValue().
  bool begin(Bookmark b) {
    if (b < 0 || contains(b)) return false;
    ++version;
    if (static_cast<size_t>(b) >= mark.size()) mark.resize(static_cast<size_t>(b) + 1 + mark.size() / 2, false);
    mark[b] = true;
    records.push_back(b);
    offsets.push_back(static_cast<qsizetype>(pool.size()));
    return true;
  }
  void addValue(std::optional<std::string_view> utf8) {
    ++version;
    if (!utf8) {
      pool.append(2, '\xff');
      return;
    }
    const size_t n = std::min<size_t>(utf8->size(), 0xfffe);
    pool.push_back(static_cast<char>(n & 0xff));
    pool.push_back(static_cast<char>(n >> 8));
    pool.append(utf8->data(), n);
  }
  void add(Bookmark b, const QList<std::optional<QString>>& values) {
    if (!begin(b)) return;
    for (const std::optional<QString>& v : values) {
      if (!v) {
        addValue(std::nullopt);
        continue;
      }
      const QByteArray u = v->toUtf8();
      addValue(std::string_view(u.constData(), static_cast<size_t>(u.size())));
    }
  }
  void remove(Bookmark b) {
    if (!contains(b)) return;
    ++version;
    mark[b] = false;
    for (size_t i = 0; i < records.size(); ++i) {
      if (records[i] == b) {
        records.erase(records.begin() + static_cast<std::ptrdiff_t>(i));
        offsets.erase(offsets.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    }
  }
  std::optional<std::string_view> raw(qsizetype i, int field) const {
    qsizetype p = offsets[static_cast<size_t>(i)];
    for (int f = 0;; ++f) {
      const auto lo = static_cast<unsigned char>(pool[static_cast<size_t>(p)]);
      const auto hi = static_cast<unsigned char>(pool[static_cast<size_t>(p) + 1]);
      p += 2;
      const int len = lo | (hi << 8);
      if (f == field) {
        if (len == 0xffff) return std::nullopt;
        return std::string_view(pool.data() + p, static_cast<size_t>(len));
      }
      if (len != 0xffff) p += len;
    }
  }
  QList<std::optional<QString>> values(qsizetype i, int fields) const {
    QList<std::optional<QString>> out;
    for (int f = 0; f < fields; ++f) {
      const std::optional<std::string_view> r = raw(i, f);
      out.append(r ? std::optional<QString>(QString::fromUtf8(r->data(), static_cast<qsizetype>(r->size())))
                   : std::nullopt);
    }
    return out;
  }
};

// ---------------------------------------------------------------------------
// Two-line centred titles with the sort arrow; clicks report their modifiers.
class TitleHeader : public QHeaderView {
 public:
  explicit TitleHeader(TDataGrid* grid) : QHeaderView(Qt::Horizontal), grid_(grid) {
    setSectionsClickable(true);
    setSectionsMovable(false);
    setHighlightSections(false);
    connect(this, &QHeaderView::sectionClicked, this,
            [this](int section) { grid_->titleClick(section, pressModifiers_ & Qt::ControlModifier); });
  }

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    pressModifiers_ = e->modifiers();
    QHeaderView::mousePressEvent(e);
  }
  QSize sectionSizeFromContents(int logicalIndex) const override {
    QSize s = QHeaderView::sectionSizeFromContents(logicalIndex);
    s.setHeight(2 * fontMetrics().lineSpacing() + 8);
    return s;
  }
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
    if (!rect.isValid() || logicalIndex >= grid_->columnCount()) return;
    QStyleOptionHeader opt;
    initStyleOption(&opt);
    opt.rect = rect;
    opt.section = logicalIndex;
    opt.text.clear();
    opt.textAlignment = Qt::AlignCenter;
    switch (grid_->titleState(logicalIndex)) {
      case TitleState::Up: opt.sortIndicator = QStyleOptionHeader::SortUp; break;
      case TitleState::Down: opt.sortIndicator = QStyleOptionHeader::SortDown; break;
      default: opt.sortIndicator = QStyleOptionHeader::None; break;
    }
    painter->save();
    style()->drawControl(QStyle::CE_Header, &opt, painter, this);
    painter->restore();
    const int arrow = opt.sortIndicator != QStyleOptionHeader::None ? 12 : 0;
    painter->save();
    painter->setPen(palette().color(QPalette::ButtonText));
    painter->drawText(rect.adjusted(2, 2, -2 - arrow, -2), Qt::AlignCenter | Qt::TextWordWrap,
                      grid_->column(logicalIndex).caption);
    painter->restore();
  }

 private:
  TDataGrid* grid_;
  Qt::KeyboardModifiers pressModifiers_;
};

// ---------------------------------------------------------------------------
// What the comment field can hold: no more characters than its width, and
// only those of the table's code page (the others would be stored as "?").
// A refused input keeps the text as it was; the reason is shown beside it.
class CommentValidator : public QValidator {
 public:
  CommentValidator(CodePage page, int width, QObject* parent) : QValidator(parent), page_(page), width_(width) {}
  State validate(QString& input, int&) const override {
    const qsizetype bad = firstUnencodable(page_, input);
    if (bad >= 0) {
      refusal_ = QStringLiteral("Знак «%1» в примечание не записать: в кодовой странице таблицы %2 его нет.")
                     .arg(unencodableAt(input, bad))
                     .arg(codePageNumber(page_));
      return Invalid;
    }
    if (input.size() > width_) {
      refusal_ = QStringLiteral("Примечание вмещает не больше %1 знаков.").arg(width_);
      return Invalid;
    }
    return Acceptable;
  }
  const QString& refusal() const { return refusal_; }

 private:
  CodePage page_;
  int width_;
  mutable QString refusal_;
};

// Only the comment column gets an editor; opening one is the edit start.
class CommentDelegate : public QStyledItemDelegate {
 public:
  CommentDelegate(TDataGrid* grid, QObject* parent) : QStyledItemDelegate(parent), grid_(grid) {}
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    if (index.column() >= grid_->columnCount() || grid_->column(index.column()).fieldName != kComment) return nullptr;
    auto* e = new QLineEdit(parent);
    e->setObjectName(QStringLiteral("commentEditor"));
    CodePage page = CodePage::Windows1251;
    int width = kCommentWidth;
    if (TDbTable* t = grid_->readable(); t && t->active()) {
      page = t->codePage();
      width = t->fieldWidth(kComment);
    }
    // The validator, not a maximum length, refuses too long a text: a
    // maximum length cuts a pasted text short without a word.
    auto* validator = new CommentValidator(page, width, e);
    e->setValidator(validator);
    QObject::connect(e, &QLineEdit::inputRejected, e, [e, validator] {
      QToolTip::showText(e->mapToGlobal(QPoint(0, e->height())), validator->refusal(), e);
    });
    e->setFrame(false);
    Q_UNUSED(option);
    editor = e;
    emit grid_->editStarted();
    return e;
  }
  mutable QPointer<QWidget> editor;

 private:
  TDataGrid* grid_;
};

// ---------------------------------------------------------------------------
class TDataGridView : public QTableView {
 public:
  explicit TDataGridView(TDataGrid* grid) : QTableView(grid), grid_(grid) {}
  CommentDelegate* delegate = nullptr;
  bool keyMove = false;
  Qt::KeyboardModifiers keyModifiers;

  void commitOpenEditor() {
    if (delegate && delegate->editor) {
      QWidget* e = delegate->editor;
      commitData(e);
      closeEditor(e, QAbstractItemDelegate::NoHint);
    }
  }
  void dropOpenEditor() {
    if (delegate && delegate->editor) closeEditor(delegate->editor, QAbstractItemDelegate::NoHint);
  }

 protected:
  void mousePressEvent(QMouseEvent* e) override {
    const QModelIndex idx = indexAt(e->position().toPoint());
    if (e->button() == Qt::LeftButton && idx.isValid()) grid_->clickRow(idx.row(), e->modifiers());
    QTableView::mousePressEvent(e);
  }
  void keyPressEvent(QKeyEvent* e) override {
    if (e->matches(QKeySequence::SelectAll)) {
      grid_->selectAll();
      return;
    }
    keyMove = true;
    keyModifiers = e->modifiers();
    QTableView::keyPressEvent(e);
    keyMove = false;
  }
  void contextMenuEvent(QContextMenuEvent* e) override {
    if (!grid_->popupMenu()) return;
    // From the keyboard the menu is about the selection as it stands.
    const QModelIndex pointed = e->reason() == QContextMenuEvent::Mouse ? indexAt(e->pos()) : QModelIndex();
    if (pointed.isValid()) runCommand([&] { grid_->pointAt(pointed.row(), pointed.column()); });
    grid_->popupMenu()->exec(e->globalPos());
  }
  void scrollContentsBy(int dx, int dy) override {
    QTableView::scrollContentsBy(dx, dy);
    grid_->updateFooter();
  }

 private:
  TDataGrid* grid_;
};

// ---------------------------------------------------------------------------
// The footer row under the data, one cell per column.
class TDataGridFooter : public QWidget {
 public:
  explicit TDataGridFooter(TDataGrid* grid) : QWidget(grid), grid_(grid) {
    setFixedHeight(fontMetrics().height() + 8);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Button));
    QTableView* v = grid_->view();
    QHeaderView* h = v->horizontalHeader();
    const int x0 = v->geometry().x() + v->viewport()->geometry().x() - geometry().x();
    p.setPen(kSilver);
    for (int c = 0; c < grid_->columnCount(); ++c) {
      const QRect r(x0 + h->sectionViewportPosition(c), 0, h->sectionSize(c), height());
      p.setPen(kSilver);
      p.drawRect(r.adjusted(0, 0, -1, -1));
      const QString& text = grid_->footerText(c);
      if (text.isEmpty()) continue;
      p.setPen(palette().color(QPalette::ButtonText));
      const bool right = grid_->column(c).alignment == ColumnAlignment::Right;
      p.drawText(r.adjusted(3, 0, -3, 0), (right ? Qt::AlignRight : Qt::AlignHCenter) | Qt::AlignVCenter, text);
    }
  }

 private:
  TDataGrid* grid_;
};

// ---------------------------------------------------------------------------

TDataGrid::TDataGrid(QWidget* parent) : QWidget(parent), sel_(std::make_unique<Selection>()) {
  model_ = new TDataGridModel(this);
  view_ = new TDataGridView(this);
  view_->setHorizontalHeader(new TitleHeader(this));
  view_->setModel(model_);
  view_->delegate = new CommentDelegate(this, view_);
  view_->setItemDelegate(view_->delegate);
  // The grid keeps its own selection (by bookmark); the view only tracks the current cell.
  view_->setSelectionMode(QAbstractItemView::NoSelection);
  view_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                         QAbstractItemView::AnyKeyPressed);
  view_->setTabKeyNavigation(false);
  view_->setWordWrap(false);
  view_->setCornerButtonEnabled(false);
  view_->verticalHeader()->setVisible(false);
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 6);
  view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  view_->setShowGrid(true);
  view_->setStyleSheet(QStringLiteral("QTableView { gridline-color: %1; }").arg(kSilver.name()));
  view_->setContextMenuPolicy(Qt::DefaultContextMenu);
  footer_ = new TDataGridFooter(this);

  auto* lay = new QVBoxLayout(this);
  lay->setContentsMargins(0, 0, 0, 0);
  lay->setSpacing(0);
  lay->addWidget(view_);
  lay->addWidget(footer_);

  connect(view_->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int logical, int, int size) {
    if (!fitting_ && logical < columnCount()) {
      if (autoFit_) columnResized(logical, size);
      else columns_[logical].width = size;
    }
    updateFooter();
  });
  connect(view_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& now, const QModelIndex& before) {
            runCommand([&] { rowLeft(before.row(), now.row()); });
            if (view_->keyMove) runCommand([&] { keyboardMoved(now.row(), view_->keyModifiers); });
          });
  view_->viewport()->installEventFilter(this);
  setBookmarkFields(kBookmarkFields);
}

TDataGrid::~TDataGrid() { table_ = nullptr; }

QTableView* TDataGrid::view() const { return view_; }

QColor TDataGrid::gridLineColor() const { return kSilver; }

void TDataGrid::setTable(TDbTable* table) {
  if (table != table_) sel_->clear();
  table_ = table;
  tableChanged();
}

void TDataGrid::setBusy(bool busy) {
  if (busy == busy_) return;
  if (busy) {
    // What is on screen now is what the grid shows until the table is free.
    const int top = view_->rowAt(0);
    const int bottom = view_->rowAt(view_->viewport()->height());
    if (top >= 0 && isVisible()) model_->cacheRows(top, bottom >= 0 ? bottom : model_->rowCount() - 1);
    busy_ = true;
    return;
  }
  busy_ = false;
}

void TDataGrid::tableChanged() {
  if (busy_) return;  // followed when the table is free again
  const int col = currentColumn();
  model_->reload();
  if (model_->rowCount() > 0 && readable() && readable()->active()) {
    // The grid shows from the first row.
    view_->selectionModel()->setCurrentIndex(model_->index(0, col), QItemSelectionModel::NoUpdate);
  }
  fitColumns();
  updateFooter();
}

void TDataGrid::setColumns(const QList<TGridColumn>& columns) {
  columns_ = columns;
  model_->columnsChanged();
  fitting_ = true;  // our own sizing, not the user's
  for (int i = 0; i < columnCount(); ++i) view_->horizontalHeader()->resizeSection(i, columns_[i].width);
  fitting_ = false;
  fitColumns();
}

int TDataGrid::columnOf(const QString& fieldName) const {
  for (int i = 0; i < columnCount(); ++i)
    if (columns_[i].fieldName.compare(fieldName, Qt::CaseInsensitive) == 0) return i;
  return -1;
}

void TDataGrid::setColumnWidth(int i, int width) {
  columns_[i].width = qMax(1, width);
  fitColumns();
}

int TDataGrid::shownColumnWidth(int i) const { return view_->horizontalHeader()->sectionSize(i); }

void TDataGrid::setColumnColor(int i, const QColor& color) {
  if (i < 0 || i >= columnCount()) return;
  columns_[i].color = color.isValid() ? QColor(color.rgb()) : QColor();
  view_->viewport()->update();
}

void TDataGrid::setAutoColumnFit(bool on) {
  autoFit_ = on;
  fitColumns();
}

void TDataGrid::setBookmarkFields(const QStringList& fields) {
  bookmarkFields_ = fields;
  sel_->clear();
}

void TDataGrid::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  fitColumns();
}

bool TDataGrid::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_->viewport() && event->type() == QEvent::Resize) fitColumns();
  return QWidget::eventFilter(watched, event);
}

int TDataGrid::minFitWidth() const { return std::max(kMinFitWidth, view_->horizontalHeader()->minimumSectionSize()); }

void TDataGrid::fitColumns() {
  if (fitting_ || columns_.isEmpty()) return;
  fitting_ = true;
  QHeaderView* h = view_->horizontalHeader();
  const int avail = view_->viewport()->width();
  if (!autoFit_ || avail <= 0) {
    for (int i = 0; i < columnCount(); ++i) h->resizeSection(i, columns_[i].width);
  } else {
    // Scale the design widths so the columns fill the width exactly. Columns
    // cannot be moved, so the logical order is the order on screen.
    QList<int> weights;
    for (const TGridColumn& c : columns_) weights << c.width;
    const QList<int> widths = fitWidths(weights, avail, minFitWidth());
    for (int i = 0; i < columnCount(); ++i) h->resizeSection(i, std::max(1, widths[i]));
  }
  fitting_ = false;
  updateFooter();
}

void TDataGrid::columnResized(int column, int size) {
  const int avail = view_->viewport()->width();
  if (avail <= 0) return;
  // The column keeps its new width as far as the others can give way; they
  // share the rest in proportion to their widths, none below the minimum.
  const int n = columnCount();
  const int minWidth = minFitWidth();
  const int own = std::clamp(size, std::min(minWidth, avail), std::max(minWidth, avail - (n - 1) * minWidth));
  QHeaderView* h = view_->horizontalHeader();
  QList<int> others;
  for (int i = 0; i < n; ++i)
    if (i != column) others << h->sectionSize(i);
  const QList<int> rest = fitWidths(others, avail - own, minWidth);
  // The shown widths become the design widths, so later fits (and the stored
  // layout) keep these proportions.
  for (int i = 0, k = 0; i < n; ++i) columns_[i].width = std::max(1, i == column ? own : rest[k++]);
  fitColumns();
}

void TDataGrid::updateFooter() {
  if (footer_) footer_->update();
}

// --- titles ---------------------------------------------------------------

void TDataGrid::setTitleState(int column, TitleState state) {
  if (column < 0 || column >= columnCount()) return;
  if (state != TitleState::None) {
    for (TGridColumn& c : columns_) {
      c.titleState = TitleState::None;
      c.sortOrder = 0;
    }
  }
  columns_[column].titleState = state;
  columns_[column].sortOrder = state == TitleState::None ? 0 : 1;
  view_->horizontalHeader()->viewport()->update();
}

void TDataGrid::clearTitleStates() {
  for (TGridColumn& c : columns_) {
    c.titleState = TitleState::None;
    c.sortOrder = 0;
  }
  view_->horizontalHeader()->viewport()->update();
}

void TDataGrid::titleClick(int column, bool ctrl) {
  if (column < 0 || column >= columnCount()) return;
  TitleState next = TitleState::None;
  if (!ctrl) next = columns_[column].titleState == TitleState::Up ? TitleState::Down : TitleState::Up;
  setTitleState(column, next);
  emit titleStateChanged(column);
}

// --- footers --------------------------------------------------------------

QString TDataGrid::footerText(const QString& fieldName) const {
  const int c = columnOf(fieldName);
  return c < 0 ? QString() : columns_[c].footerText;
}

void TDataGrid::setFooterText(int column, const QString& text) {
  if (column < 0 || column >= columnCount()) return;
  columns_[column].footerText = text;
  updateFooter();
}

void TDataGrid::setFooterText(const QString& fieldName, const QString& text) {
  setFooterText(columnOf(fieldName), text);
}

SelectionFooters TDataGrid::footers() const {
  return SelectionFooters{footerText(fieldName(MeasurementField::W)), footerText(fieldName(MeasurementField::WMin)),
                          footerText(fieldName(MeasurementField::WMax))};
}

// --- current cell ---------------------------------------------------------

int TDataGrid::rowCount() const { return model_->rowCount(); }

int TDataGrid::currentRow() const {
  const QModelIndex i = view_->currentIndex();
  return i.isValid() ? i.row() : -1;
}

int TDataGrid::currentColumn() const {
  const QModelIndex i = view_->currentIndex();
  return i.isValid() ? i.column() : 0;
}

void TDataGrid::setCurrentCell(int row, int column) {
  if (row < 0 || row >= rowCount() || column < 0 || column >= columnCount()) return;
  view_->selectionModel()->setCurrentIndex(model_->index(row, column), QItemSelectionModel::NoUpdate);
}

void TDataGrid::rowLeft(int oldRow, int newRow) {
  Q_UNUSED(oldRow);
  if (!model_->hasPendingEdit()) return;
  if (model_->bookmarkAt(newRow) != *model_->pendingRecord()) model_->postPending();
}

// --- selection ------------------------------------------------------------

bool TDataGrid::addSelected(int row) {
  const Bookmark b = model_->bookmarkAt(row);
  if (b < 0 || !readable()) return false;
  sel_->add(b, readFields(*readable(), b, bookmarkFields_));
  return true;
}

void TDataGrid::selectRange(int from, int to) {
  sel_->clear();
  const int step = from <= to ? 1 : -1;
  for (int r = from;; r += step) {
    addSelected(r);
    if (r == to) break;
  }
}

void TDataGrid::clickRow(int row, Qt::KeyboardModifiers modifiers) {
  if (!readable() || !readable()->active() || row < 0 || row >= rowCount()) return;
  if (modifiers & Qt::ShiftModifier) {
    const int from = anchorRow_ >= 0 && anchorRow_ < rowCount() ? anchorRow_ : qMax(0, currentRow());
    selectRange(from, row);
  } else if (modifiers & Qt::ControlModifier) {
    const Bookmark b = model_->bookmarkAt(row);
    if (sel_->contains(b)) {
      sel_->remove(b);
    } else {
      addSelected(row);
    }
    anchorRow_ = row;
  } else {
    sel_->clear();
    addSelected(row);
    anchorRow_ = row;
  }
  setCurrentCell(row, currentColumn());
  view_->viewport()->update();
  notifySelection();
}

// A right click: on a row outside the selection, that row becomes the
// selection (the context commands must act on what was pointed at); inside
// it the selection stays. Either way the column pointed at becomes current.
void TDataGrid::pointAt(int row, int column) {
  if (!readable() || !readable()->active() || row < 0 || row >= rowCount()) return;
  const bool inside = hasExplicitSelection() ? isRowSelected(row) : row == currentRow();
  if (!inside) clickRow(row, Qt::NoModifier);
  setCurrentCell(currentRow(), column);
}

void TDataGrid::keyboardMoved(int row, Qt::KeyboardModifiers modifiers) {
  if (!readable() || !readable()->active() || row < 0) return;
  if (modifiers & Qt::ShiftModifier) {
    selectRange(anchorRow_ >= 0 ? anchorRow_ : row, row);
  } else {
    sel_->clear();
    addSelected(row);
    anchorRow_ = row;
  }
  view_->viewport()->update();
  notifySelection();
}

void TDataGrid::selectAll() {
  TDbTable* table = readable();
  if (!table || !table->active()) return;
  // The rows in the order shown, in one go, then all their values in one
  // pass over the table.
  std::vector<Bookmark> rows = table->rowsOf(table->activeFilter(), table->indexName());
  rows.resize(std::min(rows.size(), static_cast<size_t>(std::max(0, rowCount()))));
  sel_->takeRecords(std::move(rows));
  if (!bookmarkFields_.isEmpty()) {
    // As much as the values can take, so that the pool is never copied while it fills.
    size_t perRow = 0;
    for (const QString& f : bookmarkFields_) perRow += 2 + static_cast<size_t>(table->fieldWidth(f));
    sel_->offsets.reserve(sel_->records.size());
    sel_->pool.reserve(sel_->records.size() * perRow);
    try {
      table->fieldTextsAt(sel_->records, bookmarkFields_, [this](std::size_t, int f, std::optional<std::string_view> text) {
        if (f == 0) sel_->offsets.push_back(static_cast<qsizetype>(sel_->pool.size()));
        sel_->addValue(text);
      });
    } catch (...) {
      sel_->clear();  // never rows without their values
      throw;
    }
  }
  view_->viewport()->update();
  notifySelection();
}

void TDataGrid::clearSelection(bool notify) {
  const bool had = !sel_->empty();
  sel_->clear();
  anchorRow_ = -1;
  view_->viewport()->update();
  if (notify && had) notifySelection();
}

void TDataGrid::notifySelection() { emit selectionChanged(); }

bool TDataGrid::hasExplicitSelection() const { return !sel_->empty(); }

int TDataGrid::selectedCount() const {
  if (!sel_->empty()) return static_cast<int>(sel_->size());
  return currentRow() >= 0 && model_->bookmarkAt(currentRow()) >= 0 ? 1 : 0;
}

TDataGrid::Bookmark TDataGrid::selectedBookmark(int i) const {
  if (!sel_->empty()) return sel_->records.at(static_cast<size_t>(i));
  return model_->bookmarkAt(currentRow());
}

QList<TDataGrid::Bookmark> TDataGrid::selectedBookmarks() const {
  QList<Bookmark> out;
  if (!sel_->empty()) {
    out.reserve(sel_->size());
    for (Bookmark b : sel_->records) out.append(b);
  } else if (selectedCount() == 1) {
    out.append(model_->bookmarkAt(currentRow()));
  }
  return out;
}

QList<std::optional<QString>> TDataGrid::currentRowValues() const {
  const Bookmark b = model_->bookmarkAt(currentRow());
  if (b < 0 || !readable()) return {};
  return readFields(*readable(), b, bookmarkFields_);
}

QList<std::optional<QString>> TDataGrid::selectedValues(int i) const {
  if (!sel_->empty()) return sel_->values(i, static_cast<int>(bookmarkFields_.size()));
  return currentRowValues();
}

QList<SelectedRow> TDataGrid::selectedRows() const {
  QList<SelectedRow> rows;
  const int n = selectedCount();
  rows.reserve(n);
  for (int i = 0; i < n; ++i) rows.append(toSelectedRow(selectedValues(i)));
  return rows;
}

const SelectionSummary& TDataGrid::selectionSummary() const {
  const QChar separator = decimalSeparator();
  if (!summary_ || summaryVersion_ != sel_->version || summarySeparator_ != separator) {
    summary_.reset();
    summary_ = selectionSummaryOf(
        sel_->size(), [this](qsizetype i, int q) { return sel_->raw(i, q); }, separator);
    summaryVersion_ = sel_->version;
    summarySeparator_ = separator;
  }
  return *summary_;
}

SelectionFooters TDataGrid::selectionStatistics() const {
  // The first three BookmarkFields are W, W_MIN, W_MAX.
  if (sel_->empty() || bookmarkFields_.size() < 3) return selectionFooters(selectedRows());
  return selectionSummary().footers;
}

SelectionFigures TDataGrid::selectionFigures() const {
  if (sel_->empty() || bookmarkFields_.size() < 3) return hv::selectionFigures(selectedRows());
  return selectionSummary().figures;
}

bool TDataGrid::isRowSelected(int row) const {
  if (sel_->empty()) return false;
  return sel_->contains(model_->bookmarkAt(row));
}

// --- editing --------------------------------------------------------------

void TDataGrid::postEdit() {
  view_->commitOpenEditor();
  model_->postPending();
}

void TDataGrid::dropEdit() {
  view_->dropOpenEditor();
  model_->cancelPending();
}

// --- layout ---------------------------------------------------------------

static ColumnLayout toLayout(const TGridColumn& c, int index) {
  ColumnLayout l;
  l.fieldName = c.fieldName;
  l.width = c.width;
  l.index = index;
  l.titleState = c.titleState;
  l.sortOrder = c.sortOrder;
  l.footerState = c.footerState;
  l.options = c.options;
  l.color = c.color;
  l.alignment = c.alignment;
  l.font = c.font;
  return l;
}

QList<ColumnLayout> TDataGrid::layout() const {
  QList<ColumnLayout> out;
  for (int i = 0; i < columnCount(); ++i) out.append(toLayout(columns_[i], view_->horizontalHeader()->visualIndex(i)));
  return out;
}

void TDataGrid::applyLayout(const QList<ColumnLayout>& stored) {
  QList<QPair<int, int>> moves;  // column, position
  for (const ColumnLayout& l : stored) {
    const int i = columnOf(l.fieldName);
    if (i < 0) continue;
    TGridColumn& c = columns_[i];
    c.fieldName = l.fieldName;
    c.width = qMax(1, l.width);
    c.titleState = l.titleState;
    c.sortOrder = l.sortOrder;
    c.footerState = l.footerState;
    c.options = l.options;
    c.color = l.color;
    c.alignment = l.alignment;
    c.font = l.font;
    moves.append({i, l.index});
  }
  std::sort(moves.begin(), moves.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  QHeaderView* h = view_->horizontalHeader();
  for (const auto& [column, position] : moves) {
    if (position >= 0 && position < columnCount()) h->moveSection(h->visualIndex(column), position);
  }
  fitColumns();
  h->viewport()->update();
  view_->viewport()->update();
}

}  // namespace hv
