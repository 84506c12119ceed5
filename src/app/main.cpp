// The main window's shell: start-up preparation, the two window states, menus
// and toolbar, and the commands that belong to no other area.
#include "app/main.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenuBar>
#include <QTabWidget>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/about_box.h"
#include "app/forms.h"
#include "app/pictures.h"
#include "platform/help.h"
#include "store/archive_kind.h"
#include "store/db_table.h"

TForm1* Form1 = nullptr;
const QString TForm1::kProductName = QStringLiteral("Hygrovan-RX3");

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), Table1(std::make_unique<hv::TDbTable>()) {
  setObjectName(QStringLiteral("MainWindow"));
  setWindowTitle(kProductName);
  buildMenus();
  buildToolBar();
  buildPages();
  FormCreate();
}

TForm1::~TForm1() { detachGrids(); }

QAction* TForm1::addCommand(QMenu* menu, const QString& text, void (TForm1::*handler)(), int picture,
                            const QKeySequence& shortcut) {
  QAction* a = menu->addAction(text);
  if (picture >= 0) a->setIcon(hv::commandPicture(picture));
  if (!shortcut.isEmpty()) a->setShortcut(shortcut);
  connect(a, &QAction::triggered, this, [this, handler] { hv::runCommand([this, handler] { (this->*handler)(); }); });
  return a;
}

void TForm1::buildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("Файл"));
  N2 = addCommand(file, QStringLiteral("Создать"), &TForm1::N2Click, 0, QKeySequence(Qt::CTRL | Qt::Key_N));
  N3 = addCommand(file, QStringLiteral("Открыть"), &TForm1::N3Click, 1, QKeySequence(Qt::CTRL | Qt::Key_O));
  N4 = addCommand(file, QStringLiteral("Дополнить"), &TForm1::N4Click);
  N5 = addCommand(file, QStringLiteral("Сохранить"), &TForm1::N5Click, 2, QKeySequence(Qt::CTRL | Qt::Key_S));
  N7 = addCommand(file, QStringLiteral("Закрыть"), &TForm1::N7Click);
  file->addSeparator();
  N8 = addCommand(file, QStringLiteral("Предварительный просмотр"), &TForm1::N8Click, 3);
  N9 = addCommand(file, QStringLiteral("Печать"), &TForm1::N9Click, 4, QKeySequence(Qt::CTRL | Qt::Key_P));
  file->addSeparator();
  N11 = addCommand(file, QStringLiteral("Выход"), &TForm1::N11Click);

  QMenu* view = menuBar()->addMenu(QStringLiteral("Вид"));
  N27 = addCommand(view, QStringLiteral("Выровнять столбцы"), &TForm1::N23Click);
  view->addSeparator();
  N29 = addCommand(view, QStringLiteral("Задать цвет"), &TForm1::N17Click);
  N30 = addCommand(view, QStringLiteral("Убрать цвет"), &TForm1::N18Click);
  N31 = addCommand(view, QStringLiteral("Убрать все цвета"), &TForm1::N19Click);
  view->addSeparator();
  N33 = addCommand(view, QStringLiteral("Убрать сортировку"), &TForm1::N33Click);

  QMenu* edit = menuBar()->addMenu(QStringLiteral("Правка"));
  N34 = addCommand(edit, QStringLiteral("Удалить строки"), &TForm1::N21Click, 6);

  QMenu* service = menuBar()->addMenu(QStringLiteral("Сервис"));
  Excel1 = addCommand(service, QStringLiteral("Экспорт в Excel"), &TForm1::Excel1Click);
  N37 = addCommand(service, QStringLiteral("Перенумеровать строки"), &TForm1::N37Click);
  N36 = addCommand(service, QStringLiteral("Построить график"), &TForm1::N15Click);

  QMenu* help = menuBar()->addMenu(QStringLiteral("Справка"));
  N24 = addCommand(help, QStringLiteral("Помощь"), &TForm1::N24Click, 5, QKeySequence(Qt::Key_F1));
  help->addSeparator();
  N26 = addCommand(help, QStringLiteral("О программе"), &TForm1::N26Click);

  // The grids' shared context menu; its items are never disabled.
  PopupMenu1 = new QMenu(this);
  N15 = addCommand(PopupMenu1, QStringLiteral("График"), &TForm1::N15Click);
  N22 = addCommand(PopupMenu1, QStringLiteral("Печать"), &TForm1::N22Click);
  PopupMenu1->addSeparator();
  N17 = addCommand(PopupMenu1, QStringLiteral("Задать цвет"), &TForm1::N17Click);
  N18 = addCommand(PopupMenu1, QStringLiteral("Убрать цвет"), &TForm1::N18Click);
  N19 = addCommand(PopupMenu1, QStringLiteral("Убрать все цвета"), &TForm1::N19Click);
  PopupMenu1->addSeparator();
  N23 = addCommand(PopupMenu1, QStringLiteral("Выровнять столбцы"), &TForm1::N23Click);
  PopupMenu1->addSeparator();
  N21 = addCommand(PopupMenu1, QStringLiteral("Удалить"), &TForm1::N21Click);
}

void TForm1::buildToolBar() {
  ToolBar1 = addToolBar(QStringLiteral("ToolBar1"));
  ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
  ToolBar1->setMovable(false);
  ToolBar1->setToolButtonStyle(Qt::ToolButtonIconOnly);
  auto button = [this](int picture, const QString& hint, void (TForm1::*handler)()) {
    QAction* a = ToolBar1->addAction(hv::commandPicture(picture), hint);
    connect(a, &QAction::triggered, this,
            [this, handler] { hv::runCommand([this, handler] { (this->*handler)(); }); });
    return a;
  };
  ToolButton1 = button(0, QStringLiteral("Создать"), &TForm1::N2Click);
  ToolButton2 = button(1, QStringLiteral("Открыть"), &TForm1::N3Click);
  ToolButton3 = button(2, QStringLiteral("Сохранить"), &TForm1::N5Click);
  ToolButton4 = button(3, QStringLiteral("Предварительный просмотр"), &TForm1::N8Click);
  ToolButton5 = button(4, QStringLiteral("Печать"), &TForm1::N9Click);
  ToolButton6 = button(5, QStringLiteral("Помощь"), &TForm1::N24Click);
}

void TForm1::buildPages() {
  auto* central = new QWidget(this);
  central->setObjectName(QStringLiteral("ClientArea"));
  central->setAutoFillBackground(true);
  setCentralWidget(central);
  PageControl1 = new QTabWidget(central);
  PageControl1->setObjectName(QStringLiteral("PageControl1"));
  TabSheet1 = new QWidget;
  TabSheet2 = new QWidget;
  TabSheet3 = new QWidget;
  PageControl1->addTab(TabSheet1, QStringLiteral("Древесные"));
  PageControl1->addTab(TabSheet2, QStringLiteral("Бетонные"));
  PageControl1->addTab(TabSheet3, QStringLiteral("Сыпучие"));
  connect(PageControl1, &QTabWidget::currentChanged, this, [this](int index) {
    hv::runCommand([this, index] {
      if (index == 0) TabSheet1Show();
      if (index == 1) TabSheet2Show();
      if (index == 2) TabSheet3Show();
    });
  });
  // The page control fills the client area.
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(PageControl1);
  createGrids();
}

void TForm1::FormCreate() {
  // 1. Maximised, closed-state colour.
  setWindowState(windowState() | Qt::WindowMaximized);
  centralWidget()->setBackgroundRole(QPalette::Dark);
  // 2. Help file: "hygrovan.hlp" beside the executable wins over our guide.
  helpFile = hv::findHelpFile(QCoreApplication::applicationDirPath());
  // 3. The settings key, created when missing; stays open.
  settingsKey.open();
  // 4. Default folder.
  if (settingsKey.hasValue(QStringLiteral("Default_dir"))) {
    defaultDir = settingsKey.readString(QStringLiteral("Default_dir"));
  } else {
    defaultDir = QDir::currentPath();
    settingsKey.writeString(QStringLiteral("Default_dir"), defaultDir);
  }
  // 5. The dialogs start in the default folder (only set here).
  OpenDialog1.initialDir = defaultDir;
  SaveDialog1.initialDir = defaultDir;
  // 6. Table closed and filtered.
  Table1->close();
  Table1->setFiltered(true);
  db_open = false;
  // 7-8. Grids: stored key fields and cleared sort states.
  prepareGrids();
  // 9. Closed state.
  disable_button();
  tab_vis_dis();
}

void TForm1::closeEvent(QCloseEvent* event) {
  hv::runCommand([this] { FormClose(); });
  event->accept();
}

void TForm1::FormClose() {
  settingsKey.writeString(QStringLiteral("Default_dir"), defaultDir);
  Close_DB();
}

namespace {
void enableAll(const QList<QAction*>& actions, bool on) {
  for (QAction* a : actions)
    if (a) a->setEnabled(on);
}
}  // namespace

void TForm1::enable_button() {
  enableAll({N4, N5, N7, N8, N9, N27, N29, N30, N31, N33, N34, N36, N37, Excel1, ToolButton3, ToolButton4,
              ToolButton5},
             true);
}

void TForm1::disable_button() {
  enableAll({N4, N5, N7, N8, N9, N27, N29, N30, N31, N33, N34, N36, N37, Excel1, ToolButton3, ToolButton4,
              ToolButton5},
             false);
}

bool TForm1::tableActive() const { return Table1 && Table1->active(); }

void TForm1::tab_vis_en() {
  if (!tableActive()) return;
  Table1->first();
  // Archives 2, 1, 0: the active tab ends on the first non-empty one.
  int active = -1;
  const QSignalBlocker block(PageControl1);
  for (int k = 2; k >= 0; --k) {
    Table1->setFilter(hv::archiveFilter(hv::archiveKindAt(k)));
    Table1->refresh();
    const bool hasRows = Table1->recordCount() > 0;
    PageControl1->setTabVisible(k, hasRows);
    if (hasRows) {
      PageControl1->setCurrentIndex(k);
      active = k;
    }
  }
  PageControl1->setVisible(active >= 0);
  const int shown = active >= 0 ? active : PageControl1->currentIndex();
  Table1->setFilter(hv::archiveFilter(hv::archiveKindAt(shown < 0 ? 0 : shown)));
  Table1->refresh();
}

void TForm1::tab_vis_dis() { PageControl1->setVisible(false); }

void TForm1::showOpenStateColour() { centralWidget()->setBackgroundRole(QPalette::Button); }

QColor TForm1::windowColour() const {
  return centralWidget()->palette().color(centralWidget()->backgroundRole());
}

void TForm1::showClosedState() {
  disable_button();
  tab_vis_dis();
  setTitle(kProductName);
  centralWidget()->setBackgroundRole(QPalette::Dark);
}

void TForm1::setTitle(const QString& title) {
  hv::setApplicationTitle(title);
  setWindowTitle(title);
}

hv::TDataGrid* TForm1::shownGrid() const {
  switch (PageControl1->currentIndex()) {
    case 1: return DataGrid2;
    case 2: return DataGrid3;
    default: return DataGrid1;
  }
}

QString TForm1::shownTag() const {
  return QStringLiteral("tab%1").arg(qBound(0, PageControl1->currentIndex(), 2) + 1);
}

// Exit: end the message loop at once; FormClose is not run.
void TForm1::N11Click() { QCoreApplication::exit(0); }  // exit(), not quit(): no close events

void TForm1::N24Click() {
  QString error;
  if (!hv::showHelpContents(helpFile, &error))
    hv::ui().message(this, QStringLiteral("Ошибка"), error, hv::MsgIcon::Error, hv::MsgButtons::Ok);
}

void TForm1::N26Click() {
  if (aboutBox) aboutBox->exec();
}

void TForm1::N5Click() { Save_DB(); }
void TForm1::N7Click() { Close_DB(); }
