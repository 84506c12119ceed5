#pragma once
// "Предварительный просмотр": the built pages on screen, with zoom, page
// navigation, opening and saving, PDF, search, help, print and close.
#include <QDialog>
#include <QWidget>
#include <memory>

#include "report/report_pages.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QScrollArea;
class QSpinBox;
class QToolBar;

namespace hv::report {

// One page at a given scale, with the search hits marked.
class PageView : public QWidget {
  Q_OBJECT
 public:
  explicit PageView(QWidget* parent = nullptr) : QWidget(parent) {}
  void setPage(const Page* page, double scale, QList<int> hits, int current);  // page must outlive the view's use
  double scale() const { return scale_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  const Page* page_ = nullptr;
  QSizeF pageSize_;
  double scale_ = 1;
  QList<int> hits_;
  int current_ = -1;
  friend class PreviewWindow;
};

class PreviewWindow : public QDialog {
  Q_OBJECT
 public:
  enum class ZoomMode { WholePage, PageWidth, Percent };

  // Holds the one page on view; every other page is formed when wanted.
  explicit PreviewWindow(std::shared_ptr<const PageSource> report, QWidget* parent = nullptr);
  explicit PreviewWindow(BuiltReport report, QWidget* parent = nullptr);
  const PageSource& report() const { return *report_; }

  int currentPage() const { return page_; }  // 0-based
  void showPage(int page);
  void setZoom(ZoomMode mode, int percent = 100);
  ZoomMode zoomMode() const { return zoomMode_; }
  double pageScale() const;  // device pixels per design unit now in use

  // Finds the next item holding text after the current hit, page by page
  // (with the progress window when it takes a while); false (with a message)
  // when there is none, or when the user stopped the search.
  bool findNext(const QString& text);
  QList<int> highlightedItems() const;
  int currentHitItem() const;

  bool openReport();  // through the open dialog
  bool saveReport();
  bool savePdfFile();
  void print();
  void help();

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  void refresh();
  double percentScale(int percent) const;
  // The page on view formed from the report (once per page); an error in
  // forming it is shown and leaves the page blank.
  const Page& shownPage();
  void setReport(std::shared_ptr<const PageSource> report);

  std::shared_ptr<const PageSource> report_;
  Page shown_;
  int shownIndex_ = -1;
  int page_ = 0;
  ZoomMode zoomMode_ = ZoomMode::WholePage;
  int percent_ = 100;
  QString searchText_;
  SearchHit hit_{-1, -1};  // the current hit, page -1 for none

  QToolBar* toolBar_;
  QScrollArea* scroll_;
  PageView* view_;
  QSpinBox* pageBox_;
  QLabel* pageCount_;
  QComboBox* zoomBox_;
  QLineEdit* searchEdit_;
};

}  // namespace hv::report
