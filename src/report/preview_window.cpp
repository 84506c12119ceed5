#include "report/preview_window.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QToolBar>
#include <QVBoxLayout>
#include <cmath>

#include "platform/error.h"
#include "platform/help.h"
#include "platform/ui.h"
#include "report/progress_window.h"
#include "report/report_ui.h"

namespace hv::report {

namespace {

constexpr int kPageMargin = 12;  // grey space around the page, pixels
const int kPercents[] = {25, 50, 75, 100, 150, 200, 400};

FileDialogRequest reportFileRequest(const QString& caption) {
  FileDialogRequest r;
  r.caption = caption;
  r.filter = QStringLiteral("Отчеты Hygrovan-RX3|*.hvr");
  r.defaultExt = QString::fromLatin1(kReportFileExtension);
  r.fileName = proposedFileName(r.defaultExt);
  return r;
}

void showError(QWidget* parent, const QString& text) {
  ui().message(parent, QStringLiteral("Ошибка"), text, MsgIcon::Error, MsgButtons::Ok);
}

}  // namespace

// ---------------------------------------------------------------- PageView

void PageView::setPage(const Page* page, double scale, QList<int> hits, int current) {
  page_ = page;
  scale_ = scale;
  hits_ = std::move(hits);
  current_ = current;
  resize(sizeHint());
  update();
}

QSize PageView::sizeHint() const {
  return QSize(int(std::ceil(pageSize_.width() * scale_)) + 2 * kPageMargin,
               int(std::ceil(pageSize_.height() * scale_)) + 2 * kPageMargin);
}

void PageView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  // The scroll area's own dark background shows around the paper.
  const QRectF paper(kPageMargin, kPageMargin, pageSize_.width() * scale_, pageSize_.height() * scale_);
  p.fillRect(paper.translated(3, 3), QColor(64, 64, 64));
  p.fillRect(paper, Qt::white);
  if (!page_) return;
  p.translate(paper.topLeft());
  drawPage(p, *page_, scale_, hits_, current_);
}

// ---------------------------------------------------------------- PreviewWindow

PreviewWindow::PreviewWindow(BuiltReport report, QWidget* parent)
    : PreviewWindow(std::make_shared<BuiltReport>(std::move(report)), parent) {}

PreviewWindow::PreviewWindow(std::shared_ptr<const PageSource> report, QWidget* parent)
    : QDialog(parent), report_(std::move(report)) {
  setObjectName(QStringLiteral("ReportPreview"));
  setWindowTitle(QStringLiteral("Предварительный просмотр"));
  setWindowFlag(Qt::WindowMaximizeButtonHint, true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);

  toolBar_ = new QToolBar(this);
  auto action = [&](const char* name, const QString& text, const QKeySequence& key, auto slot) {
    QAction* a = toolBar_->addAction(text);
    a->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty()) a->setShortcut(key);
    connect(a, &QAction::triggered, this, slot);
    return a;
  };

  zoomBox_ = new QComboBox(toolBar_);
  zoomBox_->setObjectName(QStringLiteral("zoom"));
  zoomBox_->addItem(QStringLiteral("Весь лист"));
  zoomBox_->addItem(QStringLiteral("По ширине"));
  for (int pc : kPercents) zoomBox_->addItem(QStringLiteral("%1%").arg(pc), pc);
  toolBar_->addWidget(zoomBox_);
  connect(zoomBox_, &QComboBox::activated, this, [this](int i) {
    if (i == 0)
      setZoom(ZoomMode::WholePage);
    else if (i == 1)
      setZoom(ZoomMode::PageWidth);
    else
      setZoom(ZoomMode::Percent, zoomBox_->itemData(i).toInt());
  });
  toolBar_->addSeparator();

  action("firstPage", QStringLiteral("|<"), QKeySequence(Qt::CTRL | Qt::Key_Home), [this] { showPage(0); })
      ->setToolTip(QStringLiteral("Первая страница"));
  action("priorPage", QStringLiteral("<"), QKeySequence(Qt::Key_PageUp), [this] { showPage(page_ - 1); })
      ->setToolTip(QStringLiteral("Предыдущая страница"));
  pageBox_ = new QSpinBox(toolBar_);
  pageBox_->setObjectName(QStringLiteral("page"));
  toolBar_->addWidget(pageBox_);
  pageCount_ = new QLabel(toolBar_);
  toolBar_->addWidget(pageCount_);
  connect(pageBox_, &QSpinBox::valueChanged, this, [this](int v) { showPage(v - 1); });
  action("nextPage", QStringLiteral(">"), QKeySequence(Qt::Key_PageDown), [this] { showPage(page_ + 1); })
      ->setToolTip(QStringLiteral("Следующая страница"));
  action("lastPage", QStringLiteral(">|"), QKeySequence(Qt::CTRL | Qt::Key_End),
         [this] { showPage(report_->pageCount() - 1); })
      ->setToolTip(QStringLiteral("Последняя страница"));
  toolBar_->addSeparator();

  searchEdit_ = new QLineEdit(toolBar_);
  searchEdit_->setObjectName(QStringLiteral("search"));
  searchEdit_->setPlaceholderText(QStringLiteral("Найти текст"));
  searchEdit_->setMaximumWidth(200);
  toolBar_->addWidget(searchEdit_);
  connect(searchEdit_, &QLineEdit::returnPressed, this, [this] { findNext(searchEdit_->text()); });
  action("find", QStringLiteral("Найти"), QKeySequence(Qt::Key_F3), [this] { findNext(searchEdit_->text()); });
  auto* focusSearch = new QAction(this);
  focusSearch->setShortcut(QKeySequence::Find);
  connect(focusSearch, &QAction::triggered, searchEdit_, [this] { searchEdit_->setFocus(); });
  addAction(focusSearch);
  toolBar_->addSeparator();

  action("open", QStringLiteral("Открыть..."), QKeySequence::Open, [this] { openReport(); });
  action("save", QStringLiteral("Сохранить..."), QKeySequence::Save, [this] { saveReport(); });
  action("savePdf", QStringLiteral("Сохранить в PDF..."), QKeySequence(), [this] { savePdfFile(); });
  action("print", QStringLiteral("Печать..."), QKeySequence::Print, [this] { print(); });
  toolBar_->addSeparator();
  action("help", QStringLiteral("Справка"), QKeySequence::HelpContents, [this] { help(); });
  action("close", QStringLiteral("Закрыть"), QKeySequence(), [this] { accept(); });
  layout->addWidget(toolBar_);

  scroll_ = new QScrollArea(this);
  scroll_->setBackgroundRole(QPalette::Dark);
  scroll_->setAlignment(Qt::AlignCenter);
  view_ = new PageView;
  scroll_->setWidget(view_);
  scroll_->installEventFilter(this);
  layout->addWidget(scroll_, 1);

  if (const QScreen* s = QGuiApplication::primaryScreen()) {
    const QRect avail = s->availableGeometry();
    resize(avail.width() * 4 / 5, avail.height() * 4 / 5);
  } else {
    resize(1000, 750);
  }
  refresh();
}

double PreviewWindow::percentScale(int percent) const {
  // 100 % is the paper's real size on the screen.
  return logicalDpiX() / kUnitsPerInch * percent / 100.0;
}

double PreviewWindow::pageScale() const {
  const QSizeF page = report_->paperSize().isValid() ? report_->paperSize() : QSizeF(1, 1);
  // The room of the scroll area without scroll bars: known as soon as the
  // layout has placed the area, even before the viewport has followed (at
  // first show it still has its initial size).
  const QSize vp = scroll_->maximumViewportSize();
  const double w = std::max(50, vp.width() - 2 * kPageMargin - 4);
  const double h = std::max(50, vp.height() - 2 * kPageMargin - 4);
  switch (zoomMode_) {
    case ZoomMode::WholePage:
      return std::min(w / page.width(), h / page.height());
    case ZoomMode::PageWidth:
      // Room for the vertical scroll bar that the taller page will need.
      return (w - scroll_->verticalScrollBar()->sizeHint().width()) / page.width();
    case ZoomMode::Percent:
      break;
  }
  return percentScale(percent_);
}

void PreviewWindow::setZoom(ZoomMode mode, int percent) {
  zoomMode_ = mode;
  percent_ = std::clamp(percent, 10, 1000);
  const int index = mode == ZoomMode::WholePage ? 0 : mode == ZoomMode::PageWidth ? 1 : zoomBox_->findData(percent_);
  if (index >= 0) zoomBox_->setCurrentIndex(index);
  refresh();
}

void PreviewWindow::showPage(int page) {
  const int n = report_->pageCount();
  if (n == 0) return;
  page = std::clamp(page, 0, n - 1);
  if (page == page_ && pageBox_->value() == page + 1 && shownIndex_ == page) return;
  page_ = page;
  refresh();
}

const Page& PreviewWindow::shownPage() {
  if (shownIndex_ != page_) {
    shownIndex_ = page_;
    shown_ = Page{};
    try {
      shown_ = report_->page(page_);
    } catch (const Error& e) {
      showError(this, e.text());
    }
  }
  return shown_;
}

QList<int> PreviewWindow::highlightedItems() const {
  return shownIndex_ == page_ ? findTextOnPage(shown_, searchText_) : QList<int>();
}

int PreviewWindow::currentHitItem() const { return hit_.page == page_ ? hit_.item : -1; }

void PreviewWindow::refresh() {
  const int n = report_->pageCount();
  if (n > 0) page_ = std::clamp(page_, 0, n - 1);
  {
    const QSignalBlocker block(pageBox_);
    pageBox_->setRange(n > 0 ? 1 : 0, n);
    pageBox_->setValue(page_ + 1);
  }
  pageCount_->setText(QStringLiteral(" из %1 ").arg(n));
  view_->pageSize_ = report_->paperSize();
  const Page* page = n > 0 ? &shownPage() : nullptr;
  view_->setPage(page, pageScale(), highlightedItems(), currentHitItem());
}

bool PreviewWindow::eventFilter(QObject* watched, QEvent* e) {
  // Every change of the view's size (first show, the user, the window
  // manager) refits the page in the fitting zoom modes.
  if (watched == scroll_ && e->type() == QEvent::Resize && zoomMode_ != ZoomMode::Percent) refresh();
  return QDialog::eventFilter(watched, e);
}

bool PreviewWindow::findNext(const QString& text) {
  if (text.isEmpty()) return false;
  const int n = report_->pageCount();
  if (text != searchText_) {
    searchText_ = text;
    hit_ = {-1, -1};
  }
  // From just after the current hit, or from the top of the page on view;
  // round the report once, back to where the search started.
  const int start = hit_.page >= 0 ? hit_.page : page_;
  const int after = hit_.page >= 0 ? hit_.item : -1;
  std::unique_ptr<ProgressWindow> progress;
  QElapsedTimer since;
  since.start();
  for (int k = 0; k <= n && n > 0; ++k) {
    const int p = (start + k) % n;
    if (!progress && since.elapsed() > 300) {
      progress = std::make_unique<ProgressWindow>(this, QStringLiteral("Поиск"));
      progress->show();
    }
    if (progress && !progress->pageOut(k, n)) {
      refresh();
      return false;
    }
    Page formed;
    try {
      formed = p == shownIndex_ ? shown_ : report_->page(p);
    } catch (const Error& e) {
      showError(this, e.text());
      return false;
    }
    for (int item : findTextOnPage(formed, text)) {
      if (k == 0 && item <= after) continue;
      if (k == n && item > after) break;
      hit_ = {p, item};
      page_ = p;
      progress.reset();
      refresh();
      const QRectF r = shown_.items.value(item).rect;
      const double s = view_->scale();
      scroll_->ensureVisible(int(kPageMargin + r.center().x() * s), int(kPageMargin + r.center().y() * s),
                             int(r.width() * s / 2) + 20, int(r.height() * s / 2) + 20);
      return true;
    }
  }
  progress.reset();
  hit_ = {-1, -1};
  refresh();
  ui().message(this, QStringLiteral("Предварительный просмотр"), QStringLiteral("Текст \"%1\" не найден.").arg(text),
               MsgIcon::Information, MsgButtons::Ok);
  return false;
}

void PreviewWindow::setReport(std::shared_ptr<const PageSource> report) {
  report_ = std::move(report);
  shownIndex_ = -1;
  shown_ = Page{};
  page_ = 0;
  searchText_.clear();
  hit_ = {-1, -1};
  refresh();
}

bool PreviewWindow::openReport() {
  const QString path = ui().openFileName(this, reportFileRequest(QStringLiteral("Открыть отчет")));
  if (path.isEmpty()) return false;
  try {
    BuiltReport loaded = loadReportFile(path);
    if (loaded.pages.isEmpty()) throw Error(QStringLiteral("Файл %1 не содержит страниц.").arg(path));
    setReport(std::make_shared<BuiltReport>(std::move(loaded)));
  } catch (const Error& e) {
    showError(this, e.text());
    return false;
  }
  return true;
}

bool PreviewWindow::saveReport() {
  const FileDialogRequest req = reportFileRequest(QStringLiteral("Сохранить отчет"));
  const QString path = ui().saveFileName(this, req);
  if (path.isEmpty()) return false;
  try {
    ProgressWindow progress(this, QStringLiteral("Сохранение отчета"));
    progress.show();
    return saveReportFile(*report_, withDefaultExtension(path, req.defaultExt),
                          [&](int done, int total) { return progress.pageOut(done, total); });
  } catch (const Error& e) {
    showError(this, e.text());
    return false;
  }
}

bool PreviewWindow::savePdfFile() {
  FileDialogRequest req;
  req.caption = QStringLiteral("Сохранить в PDF");
  req.filter = QStringLiteral("Документы PDF|*.pdf");
  req.defaultExt = QStringLiteral(".pdf");
  req.fileName = proposedFileName(req.defaultExt);
  const QString path = ui().saveFileName(this, req);
  if (path.isEmpty()) return false;
  try {
    return savePdfWithProgress(this, QStringLiteral("Сохранение в PDF"), *report_,
                               withDefaultExtension(path, req.defaultExt));
  } catch (const Error& e) {
    showError(this, e.text());
    return false;
  }
}

void PreviewWindow::print() { printBuiltReport(this, *report_); }

void PreviewWindow::help() {
  QString error;
  if (!showHelpContents(findHelpFile(QCoreApplication::applicationDirPath()), &error, this)) showError(this, error);
}

}  // namespace hv::report
