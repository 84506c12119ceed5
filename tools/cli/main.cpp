// hygrovan-cli: the program's command-line companion. It drives the same code as
// the windows do.

#include <QApplication>
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <new>

#include "cli.h"
#include "platform/console.h"
#include "platform/file.h"
#include "platform/file_names.h"
#include "platform/translations.h"
#include "platform/version.h"
#include "store/table_errors.h"

namespace hv::cli {

namespace {
QList<Command>& registry() {
  static QList<Command> list;
  return list;
}

const QString kHelp = QStringLiteral("help");
const QString kHelpText = QStringLiteral("Показать эту справку.");

// The parser's help without its first line, which names the program by its path.
QString helpBody(const QCommandLineParser& parser) {
  const QString text = parser.helpText();
  return text.mid(text.indexOf(QChar('\n')) + 1);
}
}  // namespace

Registration::Registration(const char* name, const char* summary, Run run) {
  registry().append({QString::fromUtf8(name), QString::fromUtf8(summary), run});
}

const QList<Command>& commands() {
  std::sort(registry().begin(), registry().end(), [](const Command& a, const Command& b) { return a.name < b.name; });
  return registry();
}

QTextStream& out() {
  static QTextStream s(stdout);
  return s;
}

QTextStream& err() {
  static QTextStream s(stderr);
  return s;
}

CommandLine::CommandLine(const QString& name, const QString& usage, const QString& description)
    : name_(name), usage_(usage) {
  parser_.setApplicationDescription(description);
  parser_.addOption(QCommandLineOption({QStringLiteral("h"), kHelp}, kHelpText));
}

void CommandLine::addValueOption(const QString& name, const QString& valueName, const QString& description) {
  parser_.addOption(QCommandLineOption(name, description, valueName));
}

void CommandLine::addFlag(const QString& name, const QString& description) {
  parser_.addOption(QCommandLineOption(name, description));
}

bool CommandLine::parse(const QStringList& args) {
  if (!parser_.parse(QStringList{QStringLiteral("hygrovan-cli")} + args)) {
    exitCode_ = usageError(parser_.errorText());
    return false;
  }
  if (parser_.isSet(kHelp)) {
    out() << QStringLiteral("Использование: hygrovan-cli ") << usage_ << "\n" << helpBody(parser_);
    exitCode_ = 0;
    return false;
  }
  return true;
}

int CommandLine::usageError(const QString& why) {
  err() << "hygrovan-cli " << name_ << ": " << why << QStringLiteral("\nИспользование: hygrovan-cli ") << usage_
        << QStringLiteral("\n(подробнее: hygrovan-cli ") << name_ << " --help)\n";
  exitCode_ = 2;
  return exitCode_;
}

int CommandLine::checkOutputs(const QStringList& outputs, const QStringList& inputs) {
  for (qsizetype i = 0; i < outputs.size(); ++i) {
    const QStringList others = inputs + outputs.mid(i + 1);
    for (const QString& other : others) {
      if (!sameFile(outputs[i], other)) continue;
      err() << "hygrovan-cli " << name_ << ": "
            << QStringLiteral("%1 и %2 — один и тот же файл; ничего не записано\n").arg(outputs[i], other);
      exitCode_ = 2;
      return exitCode_;
    }
  }
  return 0;
}

int reportFailure(const std::exception& e) {
  if (dynamic_cast<const std::bad_alloc*>(&e) || dynamic_cast<const TableOutOfMemoryError*>(&e)) {
    err() << QStringLiteral("Недостаточно памяти для выполнения команды.\n");
    return 1;
  }
  if (dynamic_cast<const TableDamagedError*>(&e))
    err() << QStringLiteral("База данных повреждена !\n");
  else if (dynamic_cast<const TableInUseError*>(&e))
    err() << QStringLiteral("База данных открыта другой программой.\n");
  const auto* error = dynamic_cast<const Error*>(&e);
  err() << defaultErrorReportText(error ? error->text() : QString::fromLocal8Bit(e.what())) << "\n";
  return 1;
}

bool parseRowList(const QString& text, QList<int>* rows) {
  rows->clear();
  for (const QString& part : text.split(QChar(','), Qt::SkipEmptyParts)) {
    bool ok1 = false, ok2 = false;
    const int dash = part.indexOf(QChar('-'));
    if (dash < 0) {
      const int v = part.trimmed().toInt(&ok1);
      if (!ok1 || v < 1) return false;
      rows->append(v);
    } else {
      const int a = part.left(dash).trimmed().toInt(&ok1);
      const int b = part.mid(dash + 1).trimmed().toInt(&ok2);
      if (!ok1 || !ok2 || a < 1 || b < a || b - a > 10'000'000) return false;
      for (int v = a; v <= b; ++v) rows->append(v);
    }
  }
  return !rows->isEmpty();
}

}  // namespace hv::cli

namespace {

void printHelp(const QCommandLineParser& parser) {
  auto& o = hv::cli::out();
  o << QStringLiteral("Использование: hygrovan-cli [--help | --version] COMMAND [ARGS...]\n")
    << hv::cli::helpBody(parser) << QStringLiteral("\nКоманды:\n");
  for (const auto& c : hv::cli::commands()) o << "  " << c.name.leftJustified(9) << c.summary << "\n";
  o.flush();
}

int runCommandLine(const QStringList& args) {
  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Работа с таблицами Hygrovan-RX3 (файлами .db) и с прибором без окон программы. "
                     "Команды выполняют то же, что и команды окна."));
  // What follows the command is the command's own.
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
  const QCommandLineOption help({QStringLiteral("h"), hv::cli::kHelp}, hv::cli::kHelpText);
  const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Показать версию программы."));
  parser.addOption(help);
  parser.addOption(version);
  parser.addPositionalArgument(QStringLiteral("COMMAND"),
                               QStringLiteral("Одна из команд ниже; ее описание выводит hygrovan-cli COMMAND --help."),
                               QStringLiteral("COMMAND [ARGS...]"));
  if (!parser.parse(args)) {
    hv::cli::err() << "hygrovan-cli: " << parser.errorText() << QStringLiteral(" (см. --help)\n");
    return 2;
  }
  if (parser.isSet(help)) {
    printHelp(parser);
    return 0;
  }
  if (parser.isSet(version)) {
    hv::cli::out() << "hygrovan-cli " << hv::fileVersion(QCoreApplication::applicationFilePath()) << "\n";
    return 0;
  }
  QStringList rest = parser.positionalArguments();
  if (rest.isEmpty()) {
    printHelp(parser);
    return 2;
  }
  const QString name = rest.takeFirst();
  for (const auto& c : hv::cli::commands()) {
    if (c.name == name) {
      try {
        return c.run(rest);
      } catch (const std::exception& e) {  // a command's own handlers missed it: still a message, not an abort
        return hv::cli::reportFailure(e);
      }
    }
  }
  hv::cli::err() << QStringLiteral("hygrovan-cli: неизвестная команда \"%1\" (см. --help)\n").arg(name);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Charts and reports draw through QtGui; without a display they draw offscreen.
  // A widgets application, because the chart is built of graphics widgets.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  hv::prepareRuntimeFolder();
  hv::failWritesPastTheFileSizeLimit();
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("hygrovan-cli"));
  hv::installQtTranslations();  // for the windows the commands open
  const int rc = runCommandLine(hv::commandLineArguments(argc, argv));
  hv::cli::out().flush();
  hv::cli::err().flush();
  return rc;
}
