#pragma once
// The main window (TForm1): menus, toolbar, the three archive tabs, and the
// program-wide state of the open table.
#include <QColor>
#include <QMainWindow>
#include <QString>
#include <memory>

#include "platform/settings.h"
#include "platform/ui.h"

class QAction;
class QMenu;
class QTabWidget;
class QToolBar;

namespace hv {
class TDbTable;
class TDataGrid;
}  // namespace hv

class TForm1 : public QMainWindow {
  Q_OBJECT

 public:
  static const QString kProductName;  // "Hygrovan-RX3"

  // Creating the window runs FormCreate.
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // --- program-wide state ---------------------------------------------
  bool db_open = false;
  bool db_changed = false;
  QString defaultDir;
  hv::SettingsKey settingsKey;
  std::unique_ptr<hv::TDbTable> Table1;
  hv::FileDialogRequest OpenDialog1;
  hv::FileDialogRequest SaveDialog1;
  QColor ColorDialog1Color = Qt::white;  // the colour chosen last
  QString helpFile;

  // --- components -----------------------------------------------------
  QToolBar* ToolBar1 = nullptr;
  QTabWidget* PageControl1 = nullptr;
  QWidget* TabSheet1 = nullptr;
  QWidget* TabSheet2 = nullptr;
  QWidget* TabSheet3 = nullptr;
  hv::TDataGrid* DataGrid1 = nullptr;
  hv::TDataGrid* DataGrid2 = nullptr;
  hv::TDataGrid* DataGrid3 = nullptr;
  QMenu* PopupMenu1 = nullptr;
  // Menu items (component names of the menus).
  QAction *N2 = nullptr, *N3 = nullptr, *N4 = nullptr, *N5 = nullptr, *N7 = nullptr, *N8 = nullptr, *N9 = nullptr,
          *N11 = nullptr;
  QAction *N27 = nullptr, *N29 = nullptr, *N30 = nullptr, *N31 = nullptr, *N33 = nullptr;
  QAction *N34 = nullptr, *Excel1 = nullptr, *N37 = nullptr, *N36 = nullptr, *N24 = nullptr, *N26 = nullptr;
  // Context-menu items of the grids.
  QAction *N15 = nullptr, *N22 = nullptr, *N17 = nullptr, *N18 = nullptr, *N19 = nullptr, *N23 = nullptr,
          *N21 = nullptr;
  // Toolbar buttons, left to right.
  QAction *ToolButton1 = nullptr, *ToolButton2 = nullptr, *ToolButton3 = nullptr, *ToolButton4 = nullptr,
          *ToolButton5 = nullptr, *ToolButton6 = nullptr;

  // --- shell ----------------------------------------------------------
  void FormCreate();
  void FormClose();
  void enable_button();
  void disable_button();
  void tab_vis_en();
  void tab_vis_dis();
  void showOpenStateColour();  // window colour clBtnFace
  void showClosedState();      // disable_button, tab_vis_dis, title, clBtnShadow
  void setTitle(const QString& title);  // application title and window caption
  bool tableActive() const;
  hv::TDataGrid* shownGrid() const;  // grid of the active tab
  QString shownTag() const;          // "tab1".."tab3" of the active tab
  QColor windowColour() const;

  // --- table file -----------------------------------------------------
  void Open_DB(const QString& path);
  void Save_DB();
  void Close_DB();

  // --- grids ----------------------------------------------------------
  void createGrids();   // builds DataGrid1..3 inside the tabs
  void prepareGrids();  // FormCreate: BookmarkFields and reset_sort of the three grids
  void reset_sort(hv::TDataGrid* grid, const QString& tag);
  void align_columns(hv::TDataGrid* grid);
  void clear_colors(hv::TDataGrid* grid);
  void load_layout(const QString& valueName, hv::TDataGrid* grid);
  void save_layout(const QString& valueName, hv::TDataGrid* grid);
  void show_selection_stats(hv::TDataGrid* grid);
  void TabSheet1Show();
  void TabSheet2Show();
  void TabSheet3Show();
  void postPendingEdit();  // commits a cell edit in progress
  void refreshGrids();     // after the table's filter, order, rows or open state changed
  void detachGrids();      // before the table goes away

  // --- import ---------------------------------------------------------
  void Create_DB();
  void flash2hygrovan(bool append);

  // --- export ---------------------------------------------------------
  void exp2excel();

  // --- command handlers -----------------------------------------------
  void N2Click();
  void N3Click();
  void N4Click();
  void N5Click();
  void N7Click();
  void N8Click();
  void N9Click();
  void N22Click();
  void Excel1Click();
  void N15Click();
  void N11Click();
  void N24Click();
  void N26Click();
  void N23Click();
  void N17Click();
  void N18Click();
  void N19Click();
  void N33Click();
  void N21Click();
  void N37Click();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void buildMenus();
  void buildToolBar();
  void buildPages();
  QAction* addCommand(QMenu* menu, const QString& text, void (TForm1::*handler)(), int picture = -1,
                      const QKeySequence& shortcut = {});
};

// The program's windows, created once at start-up (see program.h).
extern TForm1* Form1;
