#pragma once
// The open table: the one table file the main window shows, whether one is
// open, whether it was changed since it was last written, and the operations
// that open, create, save and close it. The window that shows the table is
// told what to show through TableDocument::Window.
#include <QString>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <optional>

#include "store/table_backup.h"

class QWidget;

namespace hv {

namespace store {
struct WriteWatch;
}
class TDbTable;
class TableReplacedError;

class TableDocument {
 public:
  // What the open table asks of the window that shows it.
  class Window {
   public:
    virtual ~Window() = default;
    virtual QWidget* dialogParent() = 0;
    virtual void setTitle(const QString& title) = 0;  // application title and window caption
    virtual void postPendingEdit() = 0;               // a cell edit in progress goes to the table
    virtual void dropPendingEdits() = 0;              // a cell edit in progress is given up
    virtual void tableReloaded() = 0;                 // the grids follow the table
    virtual void showOpenColour() = 0;
    // The commands of the open state, the tabs of the archives with rows, the grids.
    virtual void showArchives() = 0;
    virtual void loadLayouts() = 0;
    virtual void storeLayouts() = 0;
    // The grids empty without selections, the commands of the open state off,
    // no tabs, the closed-state colour.
    virtual void showClosed() = 0;
    // A table was opened or created: the list of recent tables takes it.
    virtual void tableOpened(const QString& path) = 0;
    // The changed state, which the title marks.
    virtual void showChanged(bool changed) = 0;
    // Runs a step that writes the table: beside the window under `caption`
    // on a big table, else here. False when the user gave it up.
    virtual bool runTableStep(const QString& caption, const std::function<void(store::WriteWatch&)>& step) = 0;
  };

  explicit TableDocument(Window& window);
  ~TableDocument();  // an edit not posted is dropped
  TableDocument(const TableDocument&) = delete;
  TableDocument& operator=(const TableDocument&) = delete;

  TDbTable& table() const { return *table_; }
  bool isOpen() const { return open_; }
  // Open and readable: what the commands on the table's rows check first.
  bool isActive() const;
  // Open for reading only (the file or its file system may not be written):
  // the commands that change the table are off and the title says so.
  bool isReadOnly() const;
  // A cell edit was started since the table was last opened, created or written.
  bool isChanged() const { return changed_; }
  void setChanged(bool changed);

  // Closes the open table (nothing more when the save question is put away),
  // then opens the file; a file that does not open as a measurement table is
  // refused with "База данных повреждена !", one that another program (or
  // window) holds with "База данных открыта другой программой." (each with
  // the file and what is wrong on a second line), other failures, a missing
  // file, with what they are; the window stays closed. A table that may only
  // be read is opened for reading. The title then names the file.
  void Open_DB(const QString& path);
  // Writes the table (a cell edit in progress included) by closing and
  // reopening it. Nothing without an open table.
  void Save_DB();
  // Asks whether to save when the table was changed, stores the grid layouts,
  // closes the table and removes its index file; the window shows the closed
  // state. False, with nothing done, when the save question was put away
  // unanswered.
  bool Close_DB();
  // Creates an empty table file at `path` (replacing a file of that name),
  // opens it and fills it; the title then names the file, as after opening.
  void create(const QString& path, const std::function<void(TDbTable&)>& fill);
  // Writes the table by closing and reopening it (beside the window on a big
  // table: the shown order is sorted again there); the grids follow. An index
  // file the close could not write is reported ("Ошибка", indexNotWrittenText)
  // once the table is open again: its rows are written all the same.
  void reopen();
  // The same in two halves, for a change that runs beside the window: the
  // close and reopening alone, touching no window (returns why the index
  // file could not be written, if it could not), then what the window shows
  // of it.
  QString reopenTable();
  void showReopened(const QString& indexProblem);
  static QString indexNotWrittenText(const QString& reason);
  // Runs a step that may close the table on the way (writing it through a
  // close and reopen). When the step fails and leaves no table open, the
  // window shows the closed state before the error goes on to be reported.
  void changeTable(const std::function<void()>& step);
  // When the table was changed: "Сохранить изменения в таблицах ?"; Yes saves,
  // No gives up the edit still in its row. False when the box was put away
  // unanswered (Escape, its close button): the caller goes no further.
  bool askToSaveChanges();

  // The last deletion, which "Отменить удаление" can take back while nothing
  // else has changed the table: its backup and where the grid stood.
  struct Deletion {
    TableBackup backup;
    std::uint64_t changes = 0;  // the table's change count right after it
    int kind = 0;
    std::int64_t record = -1;  // the grid's current row then
    int column = 0;
    bool superseded = false;  // a later change wrote its own backup
  };
  void rememberDeletion(const Deletion& deletion) { deletion_ = deletion; }
  // A change that writes its own backup: the deletion can no longer be taken back.
  void backupReplaced() {
    if (deletion_) deletion_->superseded = true;
  }
  // Puts the table back as it was before the last deletion (through the
  // window's runTableStep, so beside it on a big table) and returns that
  // deletion; says why not and returns nothing when it cannot (or when the
  // user gave it up: the table then stays as it is).
  std::optional<Deletion> undoDeletion();

 private:
  void showClosed();
  void showTitle(const QString& path);
  // Another program put a file under the table's name or wrote over it:
  // nothing is written into it; the user may save the changes elsewhere,
  // which the window then shows, else it shows the closed state.
  void tableReplaced(const TableReplacedError& error);
  static QString openFailureText(const std::exception& failure);

  Window& window_;
  std::unique_ptr<TDbTable> table_;
  bool open_ = false;
  bool changed_ = false;
  std::optional<Deletion> deletion_;
};

}  // namespace hv
