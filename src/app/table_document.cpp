#include "app/table_document.h"

#include <QFile>
#include <QFileInfo>
#include <exception>
#include <new>

#include "platform/error.h"
#include "platform/ui.h"
#include "platform/version.h"
#include "store/db_table.h"
#include "store/table_errors.h"
#include "store/table_file.h"

namespace hv {

TableDocument::TableDocument(Window& window) : window_(window), table_(std::make_unique<TDbTable>()) {
  // The tabs set the filter text; filtering is on for the whole run.
  table_->close();
  table_->setFiltered(true);
}

TableDocument::~TableDocument() = default;

bool TableDocument::isActive() const {
  return table_->active();
}

void TableDocument::Open_DB(const QString& path) {
  if (const QString why = companionNameConflict(path); !why.isEmpty()) {
    ui().message(window_.dialogParent(), QStringLiteral("Ошибка"), why, MsgIcon::Error, MsgButtons::Ok);
    return;
  }
  if (open_ && !Close_DB()) return;
  table_->setFileName(path);
  table_->setReadOnly(false);
  try {
    try {
      table_->open();
    } catch (const TableReadOnlyError&) {
      // What cannot be written can still be looked at, sorted, printed and exported.
      table_->setReadOnly(true);
      table_->open();
    }
  } catch (const std::exception& e) {
    if (table_->active()) table_->close();
    table_->setReadOnly(false);
    ui().message(window_.dialogParent(), QStringLiteral("Ошибка"), openFailureText(e), MsgIcon::Error, MsgButtons::Ok);
    return;
  }
  open_ = true;
  table_->first();
  window_.showOpenColour();
  window_.showArchives();
  window_.loadLayouts();
  showTitle(path);
  setChanged(false);
  window_.tableOpened(path);
}

void TableDocument::showTitle(const QString& path) {
  // The name without folder and without its last extension.
  const QString name = QFileInfo(path).completeBaseName();
  setDocumentName(name);
  window_.setTitle((isReadOnly() ? name + QStringLiteral(" [только чтение]") : name) + QStringLiteral(" - ") +
                   productName());
}

void TableDocument::setChanged(bool changed) {
  changed_ = changed;
  window_.showChanged(changed);
}

bool TableDocument::isReadOnly() const {
  return open_ && table_->readOnly();
}

QString TableDocument::openFailureText(const std::exception& failure) {
  const auto* error = dynamic_cast<const Error*>(&failure);
  // A damaged file keeps the program's own words, the damage under them.
  if (const auto* damaged = dynamic_cast<const TableDamagedError*>(&failure))
    return QStringLiteral("База данных повреждена !\n") + damaged->text();
  // Held by another program or window: as the command line says it, which file under it.
  if (dynamic_cast<const TableInUseError*>(&failure))
    return QStringLiteral("База данных открыта другой программой.\n") + error->text();
  if (error) return error->text();
  if (dynamic_cast<const std::bad_alloc*>(&failure)) return QStringLiteral("Недостаточно памяти, чтобы открыть таблицу.");
  return QStringLiteral("База данных повреждена !");
}

void TableDocument::Save_DB() {
  if (!open_) return;
  if (table_->active()) {
    try {
      // The grids share the table, so one post covers all three.
      window_.postPendingEdit();
      table_->checkUnchanged();  // also when there was no edit to post
    } catch (const TableReplacedError& e) {
      tableReplaced(e);
      return;
    }
  }
  reopen();
  setChanged(false);
}

void TableDocument::tableReplaced(const TableReplacedError& error) {
  const QString path = table_->fileName();
  const TDbTable::State state = table_->state();
  const bool edited = state == TDbTable::State::Edit || state == TDbTable::State::Insert;
  // The rows we opened are still ours when another file took their name;
  // after an overwrite only the row being edited is.
  const bool whole = error.ownCopyIntact();
  QString saved;
  if (!(edited || (whole && changed_))) {
    ui().message(window_.dialogParent(), QStringLiteral("Ошибка"),
                 error.text() + QStringLiteral("\nНезаписанных изменений в таблице нет."), MsgIcon::Error,
                 MsgButtons::Ok);
  } else {
    const QString offer = whole ? QStringLiteral("Сохранить таблицу с вашими изменениями в другом файле?")
                                : QStringLiteral("Сохранить изменённую строку в другом файле?");
    if (ui().message(window_.dialogParent(), QStringLiteral("Ошибка"), error.text() + QStringLiteral("\n\n") + offer,
                     MsgIcon::Warning, MsgButtons::YesNo) == MsgResult::Yes) {
      FileDialogRequest request;
      request.filter = QStringLiteral("Файлы данных|*.db");
      request.defaultExt = QStringLiteral(".db");
      request.initialDir = QFileInfo(path).absolutePath();
      request.overwritePrompt = true;
      const QString target = withDefaultExtension(ui().saveFileName(window_.dialogParent(), request), request.defaultExt);
      if (!target.isEmpty()) {
        try {
          table_->saveCopyAs(target, !whole);
          saved = target;
        } catch (const Error& e) {
          ui().message(window_.dialogParent(), QStringLiteral("Ошибка"), e.text(), MsgIcon::Error, MsgButtons::Ok);
        }
      }
    }
  }
  // The file under the name is not ours: let go of it without writing.
  window_.dropPendingEdits();
  table_->cancel();
  table_->close();
  window_.storeLayouts();
  open_ = false;
  setChanged(false);
  deletion_.reset();
  showClosed();
  if (!saved.isEmpty()) Open_DB(saved);
}

std::optional<TableDocument::Deletion> TableDocument::undoDeletion() {
  if (!open_ || !table_->active()) return std::nullopt;
  const QString path = table_->fileName();
  QString refusal;
  if (!deletion_)
    refusal = QStringLiteral("Отменять нечего: после открытия таблицы «%1» строки не удалялись.").arg(path);
  else if (deletion_->superseded || changed_ || table_->changeCount() != deletion_->changes)
    refusal = QStringLiteral("Удаление нельзя отменить: после него таблица «%1» изменена (дополнена, перенумерована "
                             "или в ней изменено примечание).")
                  .arg(path);
  if (!refusal.isEmpty()) {
    ui().message(window_.dialogParent(), QStringLiteral("Ошибка"), refusal, MsgIcon::Information, MsgButtons::Ok);
    return std::nullopt;
  }
  const Deletion deletion = *deletion_;
  window_.dropPendingEdits();
  std::optional<Error> failure;
  const auto step = [&](store::WriteWatch& watch) {
    table_->close();
    try {
      restoreBackup(path, deletion.backup, &watch);
    } catch (const TableWriteCancelled&) {
      table_->open();  // given up: the table as it is, nothing to say
      table_->first();
      throw;
    } catch (const Error& e) {
      failure = e;  // the table is as it was: open it again, then say why
    }
    table_->open();
    table_->first();
  };
  bool finished = true;
  changeTable([&] { finished = window_.runTableStep(QStringLiteral("Возврат удалённых строк"), step); });
  if (!finished) {
    window_.tableReloaded();
    return std::nullopt;
  }
  setChanged(false);
  if (failure) {
    window_.tableReloaded();
    ui().message(window_.dialogParent(), QStringLiteral("Ошибка"), failure->text(), MsgIcon::Error, MsgButtons::Ok);
    return std::nullopt;
  }
  deletion_.reset();
  window_.showArchives();
  return deletion;
}

void TableDocument::reopen() {
  QString indexProblem;
  changeTable([this, &indexProblem] {
    window_.runTableStep(QStringLiteral("Сохранение таблицы"), [this, &indexProblem](store::WriteWatch& watch) {
      watch.committed = true;  // the rows are in the file already: nothing to give up
      indexProblem = reopenTable();
    });
  });
  showReopened(indexProblem);
}

QString TableDocument::reopenTable() {
  table_->close();
  const QString indexProblem = table_->closeProblem();
  table_->open();
  table_->first();
  return indexProblem;
}

void TableDocument::showReopened(const QString& indexProblem) {
  window_.tableReloaded();
  if (!indexProblem.isEmpty())
    ui().message(window_.dialogParent(), QStringLiteral("Ошибка"), indexNotWrittenText(indexProblem),
                 MsgIcon::Information, MsgButtons::Ok);
}

QString TableDocument::indexNotWrittenText(const QString& reason) {
  return QStringLiteral("Индексный файл таблицы не записан (%1). Строки таблицы сохранены.").arg(reason);
}

void TableDocument::changeTable(const std::function<void()>& step) {
  try {
    step();
  } catch (...) {
    if (open_ && !table_->active()) {
      // The table went away on the way: the window must not offer commands on it.
      window_.storeLayouts();
      open_ = false;
      setChanged(false);
      showClosed();
    } else {
      window_.tableReloaded();
    }
    throw;
  }
}

bool TableDocument::askToSaveChanges() {
  if (!changed_) return true;
  switch (ui().message(window_.dialogParent(), productName(), QStringLiteral("Сохранить изменения в таблицах ?"),
                       MsgIcon::Question, MsgButtons::YesNo)) {
    case MsgResult::Yes:
      Save_DB();
      return true;
    case MsgResult::No:
      // An edit still in its row is lost; rows already posted stay.
      window_.dropPendingEdits();
      return true;
    default:
      return false;
  }
}

bool TableDocument::Close_DB() {
  if (!askToSaveChanges()) return false;
  window_.storeLayouts();
  open_ = false;
  setChanged(false);
  deletion_.reset();
  if (table_->active()) {
    window_.dropPendingEdits();
    try {
      // The header must not go on naming an index file that is gone.
      table_->removeIndexFile();
    } catch (const std::exception&) {
      // Not written (another program's file, a full disk): closing goes on.
    }
    // An index file it could not write is of no matter here: it goes.
    table_->close();
    // The index file lives only while its table is open; a table opened
    // for reading wrote none and leaves the folder alone.
    if (!table_->readOnly()) QFile::remove(TDbTable::mdxPathFor(table_->fileName()));
  }
  showClosed();
  return true;
}

void TableDocument::create(const QString& path, const std::function<void(TDbTable&)>& fill) {
  open_ = false;
  setChanged(false);
  deletion_.reset();
  table_->close();
  table_->setReadOnly(false);
  table_->setFileName(path);
  table_->createTable();
  table_->open();
  open_ = true;
  showTitle(path);
  window_.tableOpened(path);
  window_.showOpenColour();
  try {
    fill(*table_);
  } catch (...) {
    // The rows posted before the failure are in the file: show them, then report.
    window_.showArchives();
    throw;
  }
  window_.showArchives();
  window_.loadLayouts();
  setChanged(false);
}

void TableDocument::showClosed() {
  setDocumentName(QString());
  window_.showClosed();
  window_.setTitle(productName());
}

}  // namespace hv
