#pragma once
// hygrovan-cli subcommands register themselves here; each lives in its own file.
#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <exception>

namespace hv::cli {

using Run = int (*)(const QStringList& args);  // args after the subcommand name

struct Registration {
  Registration(const char* name, const char* summary, Run run);
};

struct Command {
  QString name;
  QString summary;  // one line in the list of commands
  Run run;
};
const QList<Command>& commands();

QTextStream& out();
QTextStream& err();

// One subcommand's command line: its options and arguments, and --help.
// Faults are said as "hygrovan-cli NAME: why" with the usage line, exit code 2.
class CommandLine {
 public:
  // usage: what follows "hygrovan-cli " on the usage line.
  CommandLine(const QString& name, const QString& usage, const QString& description);
  QCommandLineParser& parser() { return parser_; }
  // Adds an option that takes a value.
  void addValueOption(const QString& name, const QString& valueName, const QString& description);
  void addFlag(const QString& name, const QString& description);
  // False when the command is to stop at once with exitCode(): help shown (0)
  // or a fault in the arguments (2, said on standard error).
  bool parse(const QStringList& args);
  int exitCode() const { return exitCode_; }
  // Says why the arguments are refused, with the usage line; returns 2.
  int usageError(const QString& why);
  // Refuses an output that is the same file as an input or as another output
  // (compared as files, so links and other spellings are caught): says so and
  // returns 2. Returns 0 when they are all different. Call it before writing.
  int checkOutputs(const QStringList& outputs, const QStringList& inputs);

  QString value(const QString& name) const { return parser_.value(name); }
  bool isSet(const QString& name) const { return parser_.isSet(name); }
  QStringList values(const QString& name) const { return parser_.values(name); }
  QStringList positional() const { return parser_.positionalArguments(); }

 private:
  QString name_;
  QString usage_;
  QCommandLineParser parser_;
  int exitCode_ = 0;
};

// Says on standard error why a command failed, as the window's message box
// would, and returns the exit code (1). A damaged table and a table in use get
// the program's own words on a line of their own, the engine's detail on the
// next; running out of memory is said, not crashed on.
int reportFailure(const std::exception& e);

// "1,3,5-9" -> {1,3,5,6,7,8,9}; false on a malformed list.
bool parseRowList(const QString& text, QList<int>* rows);

}  // namespace hv::cli
