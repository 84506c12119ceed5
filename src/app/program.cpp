#include "app/program.h"

#include <QGuiApplication>
#include <QScreen>

#include "app/about_box.h"
#include "app/forms.h"
#include "app/splash_window.h"
#include "app/main.h"
#include "platform/error.h"
#include "platform/translations.h"
#include "platform/ui.h"

#ifdef HV_HAVE_DEVICE_UI
#include "device/download_dialog.h"
#endif
#ifdef HV_HAVE_GRAPHS
#include "graphs/chart_window.h"
#include "graphs/curve_dialog.h"
#endif

hv::DownloadDialog* Form2 = nullptr;
hv::ChartWindow* Form3 = nullptr;
hv::CurveDialog* Form4 = nullptr;
hv::AboutBox* aboutBox = nullptr;

namespace hv {

namespace {
SplashWindow* g_splash = nullptr;
}

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
  QCoreApplication::setApplicationName(QStringLiteral("Hygrovan-RX3"));
  QCoreApplication::setOrganizationName(QStringLiteral("Brantel"));
  setApplicationTitle(QStringLiteral("Hygrovan-RX3"));
  // Before the first window, so Qt's own buttons and dialogs speak Russian too.
  installQtTranslations();
}

void createWindows() {
  Form1 = new TForm1;
#ifdef HV_HAVE_DEVICE_UI
  Form2 = new DownloadDialog(Form1);
#endif
#ifdef HV_HAVE_GRAPHS
  Form3 = new ChartWindow(Form1);
  Form4 = new CurveDialog(Form1);
#endif
  g_splash = new SplashWindow;
  aboutBox = new AboutBox(Form1);
}

void showSplash() {
  if (!g_splash) return;
  g_splash->exec();
  delete g_splash;
  g_splash = nullptr;
}

void destroyWindows() {
  delete g_splash;
  g_splash = nullptr;
  // The child windows go with the main window; the table closes without FormClose.
  delete Form1;
  Form1 = nullptr;
  Form2 = nullptr;
  Form3 = nullptr;
  Form4 = nullptr;
  aboutBox = nullptr;
}

int runProgram(QApplication& app) {
  initialiseApplication();
  createWindows();
  showSplash();
  // Without a window manager the maximised state is only a hint: fill the screen ourselves.
  if (QScreen* screen = QGuiApplication::primaryScreen()) Form1->setGeometry(screen->availableGeometry());
  Form1->showMaximized();
  const int rc = app.exec();
  destroyWindows();
  return rc;
}

}  // namespace hv
