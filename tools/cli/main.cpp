// hygrovan-cli: the program's command-line companion. It drives the same code as
// the windows do.
#include <QApplication>
#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

#include "cli.h"
#include "platform/translations.h"
#include "platform/version.h"

namespace hv::cli {

namespace {
QList<Command>& registry() {
  static QList<Command> list;
  return list;
}
}  // namespace

Registration::Registration(const char* name, const char* usage, Run run) {
  registry().append({QString::fromUtf8(name), QString::fromUtf8(usage), run});
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

void printHelp() {
  auto& o = hv::cli::out();
  o << "Usage: hygrovan-cli COMMAND [ARGS...]\n"
       "Works with Hygrovan-RX3 table files (.db) and the meter, without windows.\n\n"
       "Commands:\n";
  for (const auto& c : hv::cli::commands()) o << "  " << c.usage << "\n";
  o << "  --help          this text\n"
       "  --version       the program's version\n";
  o.flush();
}

}  // namespace

int main(int argc, char** argv) {
  // Charts and reports draw through QtGui; without a display they draw offscreen.
  // A widgets application, because the chart is built of graphics widgets.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    // Qt wants a private runtime folder even offscreen; make the one it would pick, quietly.
    const QByteArray dir = "/tmp/runtime-" + QByteArray::number(getuid());
    mkdir(dir.constData(), 0700);
    qputenv("XDG_RUNTIME_DIR", dir);
  }
  QApplication app(argc, argv);
  QCoreApplication::setApplicationName(QStringLiteral("hygrovan-cli"));
  hv::installQtTranslations();  // for the windows the commands open
  QStringList args = QCoreApplication::arguments().mid(1);
  if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
    printHelp();
    return args.isEmpty() ? 2 : 0;
  }
  if (args.first() == QLatin1String("--version")) {
    hv::cli::out() << "hygrovan-cli " << hv::fileVersion(QCoreApplication::applicationFilePath()) << "\n";
    hv::cli::out().flush();
    return 0;
  }
  const QString name = args.takeFirst();
  for (const auto& c : hv::cli::commands()) {
    if (c.name == name) {
      const int rc = c.run(args);
      hv::cli::out().flush();
      hv::cli::err().flush();
      return rc;
    }
  }
  hv::cli::err() << "hygrovan-cli: unknown command '" << name << "' (see --help)\n";
  hv::cli::err().flush();
  return 2;
}
