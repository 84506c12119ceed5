#include "app/program.h"

#include <QGuiApplication>
#include <QScreen>
#include <memory>

#include "app/main_window.h"
#include "app/splash_window.h"
#include "platform/error.h"
#include "platform/translations.h"
#include "platform/ui.h"
#include "platform/version.h"

namespace hv {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const Error& e) {
    showDefaultErrorReport(e.text());
  } catch (const std::exception& e) {
    showDefaultErrorReport(QString::fromLocal8Bit(e.what()));
  }
  return false;
}

void initialiseApplication() {
  QCoreApplication::setApplicationName(productName());
  QCoreApplication::setOrganizationName(QStringLiteral("Brantel"));
  setApplicationTitle(productName());
  // Before the first window, so Qt's own buttons and dialogs speak Russian too.
  installQtTranslations();
}

int runProgram(QApplication& app) {
  initialiseApplication();
  auto window = std::make_unique<MainWindow>();
  {
    // Modal until its timer ends it, then gone.
    SplashWindow splash;
    splash.exec();
  }
  // Without a window manager the maximised state is only a hint: fill the screen ourselves.
  if (QScreen* screen = QGuiApplication::primaryScreen()) window->setGeometry(screen->availableGeometry());
  window->showMaximized();
  const int rc = app.exec();
  // The other windows go with the main window; the table closes without its close question.
  window.reset();
  return rc;
}

}  // namespace hv
