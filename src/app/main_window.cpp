#include "app/main_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>

#include "app/about_box.h"
#include "app/archive_pages.h"
#include "app/chart_command.h"
#include "app/csv_export_command.h"
#include "app/export_command.h"
#include "app/grid_commands.h"
#include "app/import_commands.h"
#include "app/lot_command.h"
#include "app/pictures.h"
#include "app/report_commands.h"
#include "app/table_change.h"
#include "platform/error.h"
#include "platform/help.h"
#include "platform/regional.h"
#include "platform/ui.h"
#include "platform/version.h"
#include "views/data_grid.h"

namespace hv {

namespace {
const QString kDefaultDirValue = QStringLiteral("Default_dir");
}

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent), document_(std::make_unique<TableDocument>(static_cast<TableDocument::Window&>(*this))) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(productName());
  buildMenus();
  buildToolBar();
  figuresLabel_ = new QLabel(this);
  figuresLabel_->setObjectName(QStringLiteral("figuresLabel"));
  statusBar()->addWidget(figuresLabel_);
  auto* clientArea = new QWidget(this);
  clientArea->setObjectName(QStringLiteral("clientArea"));
  clientArea->setAutoFillBackground(true);
  setCentralWidget(clientArea);
  pages_ = std::make_unique<ArchivePages>(clientArea, contextMenu_, document_->table());

  // Maximised, in the closed-state colour.
  setWindowState(windowState() | Qt::WindowMaximized);
  clientArea->setBackgroundRole(QPalette::Dark);
  // "hygrovan.hlp" beside the executable wins over our guide.
  helpFile_ = findHelpFile(QCoreApplication::applicationDirPath());
  // The settings key, created when missing; it stays open.
  settings_.open();
  recent_ = std::make_unique<RecentTables>(settings_);
  showRecentTables();
  if (settings_.hasValue(kDefaultDirValue)) {
    defaultFolder_ = settings_.readString(kDefaultDirValue);
  } else {
    defaultFolder_ = QDir::currentPath();
    settings_.writeString(kDefaultDirValue, defaultFolder_);
  }
  // The dialogs start in the default folder as it is now, for the whole run.
  dialogFolder_ = defaultFolder_;

  grids_ = std::make_unique<GridCommands>(*document_, *pages_, settings_, this);
  imports_ = std::make_unique<ImportCommands>(*document_, *pages_, this, dialogFolder_);
  chart_ = std::make_unique<ChartCommand>(*pages_, settings_, this);
  lot_ = std::make_unique<LotCommand>(*document_, *pages_, settings_, this);
  export_ = std::make_unique<ExportCommand>(*document_, *pages_, this, dialogFolder_);
  csvExport_ = std::make_unique<CsvExportCommand>(*document_, *pages_, settings_, this, dialogFolder_);
  reports_ = std::make_unique<ReportCommands>(*document_, this);
  aboutBox_ = new AboutBox(this);
  connectGrids();
  connect(pages_->tabs(), &QTabWidget::currentChanged, this, [this] { showSelectionFigures(pages_->shownGrid()); });

  grids_->prepareGrids();
  enableOpenStateCommands(false);
  pages_->hideArchives();
}

MainWindow::~MainWindow() {
  // The grids outlive the command objects (they go with the window's
  // children); nothing they signal while going may reach those objects.
  for (ArchiveKind kind : kArchiveKinds) disconnect(pages_->grid(kind), nullptr, this, nullptr);
}

QAction* MainWindow::addCommand(QMenu* menu, const QString& text, const char* name, const Handler& handler, int picture,
                                const QKeySequence& shortcut) {
  QAction* a = menu->addAction(text);
  a->setObjectName(QString::fromLatin1(name));
  if (picture >= 0) a->setIcon(commandPicture(picture));
  if (!shortcut.isEmpty()) a->setShortcut(shortcut);
  connect(a, &QAction::triggered, this, [handler] { runCommand(handler); });
  return a;
}

QAction* MainWindow::addButton(const QString& hint, const char* name, const Handler& handler, int picture) {
  QAction* a = toolBar_->addAction(commandPicture(picture), hint);
  a->setObjectName(QString::fromLatin1(name));
  connect(a, &QAction::triggered, this, [handler] { runCommand(handler); });
  return a;
}

void MainWindow::buildMenus() {
  const Handler create = [this] { imports_->createFromMeter(); };
  const Handler open = [this] { openTable(); };
  const Handler save = [this] { document_->Save_DB(); };
  const Handler preview = [this] { reports_->preview(); };
  const Handler print = [this] { reports_->print(); };
  const Handler help = [this] { showHelp(); };
  const Handler align = [this] { grids_->alignShownColumns(); };
  const Handler setColour = [this] { grids_->chooseColumnColour(); };
  const Handler clearColour = [this] { grids_->clearColumnColour(); };
  const Handler clearColours = [this] { grids_->clearAllColours(); };
  const Handler deleteRows = [this] { grids_->deleteSelectedRows(); };
  const Handler chart = [this] { chart_->run(); };
  const Handler assess = [this] { lot_->run(); };

  QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
  addCommand(file, QStringLiteral("Создать"), "newTableAction", create, 0, QKeySequence(Qt::CTRL | Qt::Key_N));
  addCommand(file, QStringLiteral("Открыть"), "openTableAction", open, 1, QKeySequence(Qt::CTRL | Qt::Key_O));
  QAction* append =
      addCommand(file, QStringLiteral("Дополнить"), "appendAction", [this] { imports_->appendFromMeter(); });
  QAction* saveItem =
      addCommand(file, QStringLiteral("Сохранить"), "saveAction", save, 2, QKeySequence(Qt::CTRL | Qt::Key_S));
  QAction* close = addCommand(file, QStringLiteral("Закрыть"), "closeAction", [this] { document_->Close_DB(); });
  file->addSeparator();
  QAction* previewItem = addCommand(file, QStringLiteral("Предварительный просмотр"), "previewAction", preview, 3);
  QAction* printItem =
      addCommand(file, QStringLiteral("Печать"), "printAction", print, 4, QKeySequence(Qt::CTRL | Qt::Key_P));
  file->addSeparator();
  for (int i = 0; i < RecentTables::kCount; ++i) {
    QAction* a = addCommand(file, QString(), "", [this, i] { openTableFile(recent_->paths().value(i)); });
    a->setObjectName(QStringLiteral("recentTableAction%1").arg(i + 1));
    a->setShortcut(QKeySequence(Qt::ALT | (Qt::Key_1 + i)));
    a->setVisible(false);
    recentActions_.append(a);
  }
  recentSeparator_ = file->addSeparator();
  recentSeparator_->setVisible(false);
  addCommand(file, QStringLiteral("Выход"), "exitAction", [this] { exitProgram(); });

  QMenu* view = menuBar()->addMenu(QStringLiteral("Вид"));
  QAction* alignItem = addCommand(view, QStringLiteral("Выровнять столбцы"), "alignColumnsAction", align);
  view->addSeparator();
  QAction* setColourItem = addCommand(view, QStringLiteral("Задать цвет"), "setColourAction", setColour);
  QAction* clearColourItem = addCommand(view, QStringLiteral("Убрать цвет"), "clearColourAction", clearColour);
  QAction* clearColoursItem =
      addCommand(view, QStringLiteral("Убрать все цвета"), "clearAllColoursAction", clearColours);
  view->addSeparator();
  QAction* resetSort =
      addCommand(view, QStringLiteral("Убрать сортировку"), "resetSortAction", [this] { grids_->resetShownSort(); });

  QMenu* edit = menuBar()->addMenu(QStringLiteral("Правка"));
  QAction* deleteItem = addCommand(edit, QStringLiteral("Удалить строки"), "deleteRowsAction", deleteRows, 6);
  QAction* undoItem = addCommand(edit, QStringLiteral("Отменить удаление"), "undoDeletionAction",
                                 [this] { grids_->undoDeletion(); }, -1, QKeySequence(Qt::CTRL | Qt::Key_Z));

  QMenu* service = menuBar()->addMenu(QStringLiteral("Сервис"));
  QAction* exportItem =
      addCommand(service, QStringLiteral("Экспорт в Excel"), "exportAction", [this] { export_->run(); });
  QAction* csvExportItem =
      addCommand(service, QStringLiteral("Экспорт в CSV…"), "csvExportAction", [this] { csvExport_->run(); });
  QAction* renumber = addCommand(service, QStringLiteral("Перенумеровать строки"), "renumberAction",
                                 [this] { grids_->renumberRows(); });
  QAction* chartItem = addCommand(service, QStringLiteral("Построить график"), "chartAction", chart);
  QAction* assessItem = addCommand(service, QStringLiteral("Оценка партии…"), "assessAction", assess);

  QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("Справка"));
  addCommand(helpMenu, QStringLiteral("Помощь"), "helpAction", help, 5, QKeySequence(Qt::Key_F1));
  helpMenu->addSeparator();
  addCommand(helpMenu, QStringLiteral("О программе"), "aboutAction", [this] { showAbout(); });

  // The grids' shared context menu; its items are never disabled.
  contextMenu_ = new QMenu(this);
  contextMenu_->setObjectName(QStringLiteral("gridContextMenu"));
  addCommand(contextMenu_, QStringLiteral("График"), "chartPopupAction", chart);
  addCommand(contextMenu_, QStringLiteral("Печать"), "printPopupAction", print);
  addCommand(contextMenu_, QStringLiteral("Оценка партии…"), "assessPopupAction", assess);
  contextMenu_->addSeparator();
  addCommand(contextMenu_, QStringLiteral("Задать цвет"), "setColourPopupAction", setColour);
  addCommand(contextMenu_, QStringLiteral("Убрать цвет"), "clearColourPopupAction", clearColour);
  addCommand(contextMenu_, QStringLiteral("Убрать все цвета"), "clearAllColoursPopupAction", clearColours);
  contextMenu_->addSeparator();
  addCommand(contextMenu_, QStringLiteral("Выровнять столбцы"), "alignColumnsPopupAction", align);
  contextMenu_->addSeparator();
  deletePopup_ = addCommand(contextMenu_, QStringLiteral("Удалить"), "deletePopupAction", deleteRows);

  openStateCommands_ = {append,          saveItem,         close,     previewItem, printItem, alignItem, setColourItem,
                        clearColourItem, clearColoursItem, resetSort, deleteItem,  chartItem, renumber,  exportItem,
                        undoItem,        csvExportItem,    assessItem};
  changingCommands_ = {append, saveItem, deleteItem, renumber, undoItem};
}

void MainWindow::buildToolBar() {
  toolBar_ = addToolBar(QStringLiteral("Панель инструментов"));
  toolBar_->setObjectName(QStringLiteral("toolBar"));
  toolBar_->setMovable(false);
  toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  addButton(
      QStringLiteral("Создать"), "newTableButton", [this] { imports_->createFromMeter(); }, 0);
  addButton(
      QStringLiteral("Открыть"), "openTableButton", [this] { openTable(); }, 1);
  openStateCommands_ << addButton(
      QStringLiteral("Сохранить"), "saveButton", [this] { document_->Save_DB(); }, 2);
  changingCommands_ << openStateCommands_.last();
  openStateCommands_ << addButton(
      QStringLiteral("Предварительный просмотр"), "previewButton", [this] { reports_->preview(); }, 3);
  openStateCommands_ << addButton(
      QStringLiteral("Печать"), "printButton", [this] { reports_->print(); }, 4);
  addButton(
      QStringLiteral("Помощь"), "helpButton", [this] { showHelp(); }, 5);
}

void MainWindow::connectGrids() {
  for (ArchiveKind kind : kArchiveKinds) {
    TDataGrid* grid = pages_->grid(kind);
    connect(grid, &TDataGrid::titleStateChanged, this,
            [this, kind](int column) { runCommand([&] { grids_->sortByTitle(kind, column); }); });
    connect(grid, &TDataGrid::selectionChanged, this, [this, grid] {
      runCommand([&] { grids_->showSelectionStats(grid); });
      showSelectionFigures(grid);
    });
    // Starting a cell edit in any grid marks the table changed.
    connect(grid, &TDataGrid::editStarted, this, [this] { document_->setChanged(true); });
  }
}

void MainWindow::showSelectionFigures(TDataGrid* grid) {
  QString text;
  try {
    text = figuresStatusText(grid->selectionFigures(), grid->selectedCount(), decimalSeparator());
  } catch (const Error&) {
    // The footers have said what is wrong with the value; the status bar stays blank.
  }
  figuresLabel_->setText(text);
}

void MainWindow::enableOpenStateCommands(bool on) {
  // A table open for reading only: nothing that would write it.
  const bool readOnly = document_->isReadOnly();
  for (QAction* a : openStateCommands_) a->setEnabled(on && !(readOnly && changingCommands_.contains(a)));
  deletePopup_->setEnabled(!readOnly);
}

QColor MainWindow::windowColour() const {
  return centralWidget()->palette().color(centralWidget()->backgroundRole());
}

void MainWindow::openTable() {
  FileDialogRequest request;
  request.filter = QStringLiteral("Базы данных|*.db");
  request.defaultExt = QStringLiteral(".db");
  request.initialDir = dialogFolder_;
  const QString path = withDefaultExtension(ui().openFileName(this, request), request.defaultExt);
  if (path.isEmpty()) return;
  openTableFile(path);
}

void MainWindow::openTableFile(const QString& path) {
  if (path.isEmpty()) return;
  if (!QFileInfo(path).isFile()) {
    ui().message(this, QStringLiteral("Ошибка"),
                 QStringLiteral("Файл %1 не найден.").arg(QDir::toNativeSeparators(path)), MsgIcon::Error,
                 MsgButtons::Ok);
    recent_->remove(path);
    showRecentTables();
    return;
  }
  if (document_->isOpen() && !document_->Close_DB()) return;
  defaultFolder_ = QFileInfo(path).absolutePath();
  document_->Open_DB(path);
}

void MainWindow::showRecentTables() {
  const QStringList& paths = recent_->paths();
  for (int i = 0; i < recentActions_.size(); ++i) {
    QAction* a = recentActions_[i];
    a->setVisible(i < paths.size());
    if (i >= paths.size()) continue;
    // "&1" makes the digit the item's key in the open menu as well.
    a->setText(QStringLiteral("&%1 %2").arg(i + 1).arg(QDir::toNativeSeparators(paths[i])));
  }
  recentSeparator_->setVisible(!paths.isEmpty());
}

void MainWindow::tableOpened(const QString& path) {
  recent_->add(path);
  showRecentTables();
}

void MainWindow::showChanged(bool changed) {
  setWindowModified(changed);
}

// Exit ends the message loop at once, without the window's close: neither the
// default folder nor the grid layouts are stored. A change not yet written is
// asked about first, as closing asks, so a typed comment is not lost unasked.
void MainWindow::exitProgram() {
  if (!document_->askToSaveChanges()) return;
  QCoreApplication::exit(0);  // exit(), not quit(): no close events
}

void MainWindow::showHelp() {
  QString error;
  if (!showHelpContents(helpFile_, &error, this))
    ui().message(this, QStringLiteral("Ошибка"), error, MsgIcon::Error, MsgButtons::Ok);
}

void MainWindow::showAbout() {
  aboutBox_->exec();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  bool closed = true;
  runCommand([&] { closed = storeAndClose(); });
  // The save question put away: the window stays, the change with it.
  if (closed)
    event->accept();
  else
    event->ignore();
}

bool MainWindow::storeAndClose() {
  settings_.writeString(kDefaultDirValue, defaultFolder_);
  return document_->Close_DB();
}

void MainWindow::setTitle(const QString& title) {
  setApplicationTitle(title);
  // Qt shows "[*]" as a mark while the window is modified, and nothing else.
  const QString product = QStringLiteral(" - ") + productName();
  setWindowTitle(title.endsWith(product) ? title.chopped(product.size()) + QStringLiteral("[*]") + product : title);
}

void MainWindow::postPendingEdit() {
  pages_->postPendingEdit();
}
void MainWindow::dropPendingEdits() {
  pages_->dropPendingEdits();
}
void MainWindow::tableReloaded() {
  pages_->refresh();
}
bool MainWindow::runTableStep(const QString& caption, const std::function<void(store::WriteWatch&)>& step) {
  return runTableChange(this, *pages_, document_->table(), {caption, 1, step});
}
void MainWindow::showOpenColour() {
  centralWidget()->setBackgroundRole(QPalette::Button);
}

void MainWindow::showArchives() {
  enableOpenStateCommands(true);
  pages_->showNonEmptyArchives();
  pages_->refresh();
}

void MainWindow::loadLayouts() {
  grids_->loadLayouts();
}
void MainWindow::storeLayouts() {
  grids_->storeLayouts();
}

void MainWindow::showClosed() {
  // The selections belong to the closed file.
  pages_->clearSelections();
  pages_->refresh();
  enableOpenStateCommands(false);
  pages_->hideArchives();
  centralWidget()->setBackgroundRole(QPalette::Dark);
}

}  // namespace hv
