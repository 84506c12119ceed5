#pragma once
// The main window: menus, toolbar and the archive tabs with their grids. It
// keeps the default folder and the settings key, shows the window's two
// states (no table open, one table open), and hands each command to the
// object that does that job.
#include <QColor>
#include <QList>
#include <QMainWindow>
#include <QString>
#include <functional>
#include <memory>

#include "app/recent_tables.h"
#include "app/table_document.h"
#include "platform/settings.h"

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace hv {

class AboutBox;
class ArchivePages;
class ChartCommand;
class CsvExportCommand;
class ExportCommand;
class GridCommands;
class ImportCommands;
class LotCommand;
class TDataGrid;
class ReportCommands;

class MainWindow : public QMainWindow, private TableDocument::Window {
  Q_OBJECT

 public:
  // Builds the window in its closed state, reads the default folder from the
  // settings (storing the current folder when there is none) and creates the
  // windows its commands show.
  explicit MainWindow(QWidget* parent = nullptr);
  ~MainWindow() override;

  TableDocument& document() const { return *document_; }
  ArchivePages& pages() const { return *pages_; }
  GridCommands& gridCommands() const { return *grids_; }
  ImportCommands& importCommands() const { return *imports_; }
  ExportCommand& exportCommand() const { return *export_; }
  ReportCommands& reportCommands() const { return *reports_; }
  ChartCommand& chartCommand() const { return *chart_; }
  LotCommand& lotCommand() const { return *lot_; }

  // The folder the file dialogs start in at the next run; the open command
  // sets it to the folder of the file opened, closing the window stores it.
  QString defaultFolder() const { return defaultFolder_; }
  void setDefaultFolder(const QString& folder) { defaultFolder_ = folder; }
  // The help file: "hygrovan.hlp" beside the executable, else our guide.
  QString helpFile() const { return helpFile_; }
  void setHelpFile(const QString& path) { helpFile_ = path; }
  // The colour of the client area: button face when open, button shadow when closed.
  QColor windowColour() const;

  // The commands that belong to the window itself.
  void openTable();  // "Открыть"
  // Opens a named table as "Открыть" does after its dialog (from the command
  // line, the file manager or the recent list); a file that is gone is said
  // so and dropped from the recent list.
  void openTableFile(const QString& path);
  RecentTables& recentTables() const { return *recent_; }
  void exitProgram();  // "Выход": the save question when changed, then the loop ends
  void showHelp();     // "Помощь"
  void showAbout();    // "О программе"

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  using Handler = std::function<void()>;
  QAction* addCommand(QMenu* menu, const QString& text, const char* name, const Handler& handler, int picture = -1,
                      const QKeySequence& shortcut = {});
  QAction* addButton(const QString& hint, const char* name, const Handler& handler, int picture);
  void buildMenus();
  void buildToolBar();
  void connectGrids();
  void enableOpenStateCommands(bool on);
  void showRecentTables();
  // "n = …, σ = …" of the grid's selection in the status bar; blank below two rows.
  void showSelectionFigures(TDataGrid* grid);
  // Closing the window: the default folder is stored, then the table closed.
  // False when the save question was put away and the table stays open.
  bool storeAndClose();

  // TableDocument::Window
  QWidget* dialogParent() override { return this; }
  void setTitle(const QString& title) override;
  void postPendingEdit() override;
  void dropPendingEdits() override;
  void tableReloaded() override;
  void showOpenColour() override;
  void showArchives() override;
  void loadLayouts() override;
  void storeLayouts() override;
  void showClosed() override;
  void tableOpened(const QString& path) override;
  void showChanged(bool changed) override;
  bool runTableStep(const QString& caption, const std::function<void(store::WriteWatch&)>& step) override;

  SettingsKey settings_;
  QString defaultFolder_;
  QString dialogFolder_;  // the default folder at start; the dialogs keep it for the run
  QString helpFile_;
  std::unique_ptr<TableDocument> document_;
  QMenu* contextMenu_ = nullptr;
  QToolBar* toolBar_ = nullptr;
  QList<QAction*> openStateCommands_;
  std::unique_ptr<RecentTables> recent_;
  QList<QAction*> recentActions_;  // "1 ..".."5 ..", hidden when unused
  QAction* recentSeparator_ = nullptr;
  QList<QAction*> changingCommands_;  // off while the table is open for reading only
  QAction* deletePopup_ = nullptr;
  // The grids let go of the table before it closes: declared after the document.
  std::unique_ptr<ArchivePages> pages_;
  std::unique_ptr<GridCommands> grids_;
  std::unique_ptr<ImportCommands> imports_;
  std::unique_ptr<ExportCommand> export_;
  std::unique_ptr<CsvExportCommand> csvExport_;
  std::unique_ptr<ReportCommands> reports_;
  std::unique_ptr<ChartCommand> chart_;
  std::unique_ptr<LotCommand> lot_;
  QLabel* figuresLabel_ = nullptr;  // "n = …, σ = …" of the selection, in the status bar
  AboutBox* aboutBox_ = nullptr;
};

}  // namespace hv
