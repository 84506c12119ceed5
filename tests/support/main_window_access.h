#pragma once
// Reaching the main window's parts from the GUI tests.
#include <QAction>
#include <QApplication>
#include <QString>
#include <stdexcept>
#include <string>

#include "app/main_window.h"

namespace hv::test {

// The window's menu item, context-menu item or toolbar button with this object
// name ("newTableAction"); a missing one ends the test with a failure.
inline QAction* command(const MainWindow& window, const char* name) {
  auto* a = window.findChild<QAction*>(QString::fromLatin1(name));
  if (!a) throw std::runtime_error(std::string("no command named ") + name);
  return a;
}

// The main window on screen while the program runs, if any.
inline MainWindow* runningMainWindow() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* m = qobject_cast<MainWindow*>(w)) return m;
  return nullptr;
}

}  // namespace hv::test
