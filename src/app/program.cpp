#include "app/program.h"

#include <QCommandLineParser>
#include <QGuiApplication>
#include <QScreen>
#include <QTextStream>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "app/main_window.h"
#include "app/splash_window.h"
#include "platform/error.h"
#include "platform/file.h"
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

namespace {

struct ProgramCommandLine {
  QCommandLineParser parser;
  QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Показать эту справку.")};
  QCommandLineOption version{QStringLiteral("version"), QStringLiteral("Показать версию программы.")};

  ProgramCommandLine() {
    parser.setApplicationDescription(QStringLiteral("Обмен данными с влагомером Hygrovan-RX3."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("FILE.db"), QStringLiteral("Таблица, которую открыть."),
                                 QStringLiteral("[FILE.db]"));
  }
  // False, with the reason on standard error, when the arguments are wrong.
  bool parse(const QStringList& arguments) {
    if (parser.parse(arguments) && parser.positionalArguments().size() <= 1) return true;
    QTextStream(stderr) << "hygrovan: "
                        << (parser.errorText().isEmpty() ? QStringLiteral("лишние аргументы") : parser.errorText())
                        << QStringLiteral(" (см. --help)\n");
    return false;
  }
};

}  // namespace

bool isConsoleRequest(const QStringList& arguments) {
  return arguments.mid(1).contains(QStringLiteral("--help")) || arguments.mid(1).contains(QStringLiteral("-h")) ||
         arguments.mid(1).contains(QStringLiteral("--version"));
}

int answerConsoleRequest(const QStringList& arguments) {
  installQtTranslations();
  ProgramCommandLine line;
  if (!line.parse(arguments)) return 2;
  QTextStream out(stdout);
  if (line.parser.isSet(line.version))
    out << "hygrovan " << fileVersion(QCoreApplication::applicationFilePath()) << "\n";
  else
    out << line.parser.helpText();
  return 0;
}

int runProgram(QApplication& app, const QStringList& arguments) {
  failWritesPastTheFileSizeLimit();
  initialiseApplication();
  ProgramCommandLine line;
  if (!arguments.isEmpty() && !line.parse(arguments)) return 2;
  const QString table = arguments.isEmpty() ? QString() : line.parser.positionalArguments().value(0);
  auto window = std::make_unique<MainWindow>();
  {
    // Modal until its timer ends it, then gone.
    SplashWindow splash;
    splash.exec();
  }
  // Without a window manager the maximised state is only a hint: fill the screen ourselves.
  if (QScreen* screen = QGuiApplication::primaryScreen()) window->setGeometry(screen->availableGeometry());
  window->showMaximized();
  // Once the loop runs, so that its messages have a window to stand over.
  if (!table.isEmpty())
    QTimer::singleShot(0, window.get(), [&window, table] { runCommand([&] { window->openTableFile(table); }); });
  const int rc = app.exec();
  // The other windows go with the main window; the table closes without its close question.
  window.reset();
  return rc;
}

}  // namespace hv
