#include "platform/help_window.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>

namespace hv {

HelpWindow::HelpWindow(QWidget* parent) : QMainWindow(parent, Qt::Window) {
  setObjectName(QStringLiteral("helpWindow"));
  setWindowTitle(QStringLiteral("Помощь"));
  setAttribute(Qt::WA_DeleteOnClose, false);
  resize(800, 600);

  browser_ = new QTextBrowser(this);
  browser_->setObjectName(QStringLiteral("helpBrowser"));
  browser_->setOpenExternalLinks(true);  // http and mail links: the desktop's programs
  setCentralWidget(browser_);

  QToolBar* pages = addToolBar(QStringLiteral("Переход"));
  pages->setObjectName(QStringLiteral("helpPages"));
  pages->setMovable(false);
  QAction* back = pages->addAction(QStringLiteral("Назад"), browser_, &QTextBrowser::backward);
  back->setShortcut(QKeySequence::Back);
  back->setEnabled(false);
  QAction* forward = pages->addAction(QStringLiteral("Вперед"), browser_, &QTextBrowser::forward);
  forward->setShortcut(QKeySequence::Forward);
  forward->setEnabled(false);
  pages->addAction(QStringLiteral("Содержание"), browser_, &QTextBrowser::home);
  connect(browser_, &QTextBrowser::backwardAvailable, back, &QAction::setEnabled);
  connect(browser_, &QTextBrowser::forwardAvailable, forward, &QAction::setEnabled);

  searchBar_ = addToolBar(QStringLiteral("Поиск"));
  searchBar_->setObjectName(QStringLiteral("helpSearch"));
  searchBar_->setMovable(false);
  search_ = new QLineEdit(searchBar_);
  search_->setObjectName(QStringLiteral("helpSearchLine"));
  search_->setPlaceholderText(QStringLiteral("Найти"));
  search_->setClearButtonEnabled(true);
  searchBar_->addWidget(search_);
  searchBar_->addAction(QStringLiteral("Далее"), this, [this] { findNext(); });
  searchBar_->addAction(QStringLiteral("Ранее"), this, [this] { findNext(true); });
  connect(search_, &QLineEdit::returnPressed, this, [this] { findNext(); });

  auto* find = new QAction(this);
  find->setShortcut(QKeySequence::Find);
  connect(find, &QAction::triggered, this, &HelpWindow::startSearch);
  addAction(find);
  auto* next = new QAction(this);
  next->setShortcut(QKeySequence::FindNext);
  connect(next, &QAction::triggered, this, [this] { findNext(); });
  addAction(next);
  auto* previous = new QAction(this);
  previous->setShortcut(QKeySequence::FindPrevious);
  connect(previous, &QAction::triggered, this, [this] { findNext(true); });
  addAction(previous);
}

bool HelpWindow::showFile(const QString& path) {
  const QFileInfo file(path);
  if (!file.isFile() || !file.isReadable()) return false;
  browser_->setSearchPaths({file.absolutePath()});  // pictures beside the page
  browser_->setSource(QUrl::fromLocalFile(file.absoluteFilePath()), QTextDocument::HtmlResource);
  return true;
}

void HelpWindow::startSearch() {
  search_->setFocus(Qt::ShortcutFocusReason);
  search_->selectAll();
}

bool HelpWindow::findNext(bool backward) {
  const QString text = search_->text();
  if (text.isEmpty()) return false;
  const QTextDocument::FindFlags flags = backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
  if (browser_->find(text, flags)) return true;
  // From the other end of the page once.
  QTextCursor cursor = browser_->textCursor();
  cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
  browser_->setTextCursor(cursor);
  return browser_->find(text, flags);
}

}  // namespace hv
