#pragma once
// The user guide in a window of the program's own: links, pictures, back and
// forward, and a search line (Ctrl+F, F3 for the next hit). Outside links go
// to the desktop's browser.
#include <QMainWindow>

class QLineEdit;
class QTextBrowser;
class QToolBar;

namespace hv {

class HelpWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit HelpWindow(QWidget* parent = nullptr);

  // Shows the file (an HTML page); false when it cannot be read.
  bool showFile(const QString& path);
  QTextBrowser* browser() const { return browser_; }
  QLineEdit* searchLine() const { return search_; }
  // Selects the next (or previous) place of the search text, wrapping at the
  // end; false when the text is nowhere in the page.
  bool findNext(bool backward = false);

 private:
  void startSearch();

  QTextBrowser* browser_;
  QToolBar* searchBar_;
  QLineEdit* search_;
};

}  // namespace hv
