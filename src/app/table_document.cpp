#include "app/table_document.h"

#include <QFile>
#include <QFileInfo>
#include <exception>

#include "platform/ui.h"
#include "platform/version.h"
#include "store/db_table.h"
#include "store/table_errors.h"

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
  if (open_) Close_DB();
  table_->setFileName(path);
  try {
    table_->open();
  } catch (const std::exception& e) {
    if (table_->active()) table_->close();
    // Held by another program: saying it is damaged would be wrong and alarming.
    const bool inUse = dynamic_cast<const TableInUseError*>(&e) != nullptr;
    ui().message(
        window_.dialogParent(), QStringLiteral("Ошибка"),
        inUse ? QStringLiteral("База данных открыта другой программой.") : QStringLiteral("База данных повреждена !"),
        MsgIcon::Error, MsgButtons::Ok);
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
  setDocumentName(QFileInfo(path).completeBaseName());
  window_.setTitle(documentName() + QStringLiteral(" - ") + productName());
}

void TableDocument::setChanged(bool changed) {
  changed_ = changed;
  window_.showChanged(changed);
}

void TableDocument::Save_DB() {
  if (!open_) return;
  // The grids share the table, so one post covers all three.
  if (table_->active()) window_.postPendingEdit();
  reopen();
  setChanged(false);
}

void TableDocument::reopen() {
  QString indexProblem;
  changeTable([this, &indexProblem] {
    table_->close();
    indexProblem = table_->closeProblem();
    table_->open();
    table_->first();
  });
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

void TableDocument::askToSaveChanges() {
  if (!changed_) return;
  if (ui().message(window_.dialogParent(), productName(), QStringLiteral("Сохранить изменения в таблицах ?"),
                   MsgIcon::Question, MsgButtons::YesNo) == MsgResult::Yes) {
    Save_DB();
  } else {
    // An edit still in its row is lost; rows already posted stay.
    window_.dropPendingEdits();
  }
}

void TableDocument::Close_DB() {
  askToSaveChanges();
  window_.storeLayouts();
  open_ = false;
  setChanged(false);
  if (table_->active()) {
    window_.dropPendingEdits();
    // An index file it could not write is of no matter here: it goes.
    table_->close();
    // The index file lives only while its table is open.
    QFile::remove(TDbTable::mdxPathFor(table_->fileName()));
  }
  showClosed();
}

void TableDocument::create(const QString& path, const std::function<void(TDbTable&)>& fill) {
  open_ = false;
  setChanged(false);
  table_->close();
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
