#pragma once
// hygrovan-cli subcommands register themselves here; each lives in its own file.
#include <QString>
#include <QStringList>
#include <QTextStream>

namespace hv::cli {

using Run = int (*)(const QStringList& args);  // args after the subcommand name

struct Registration {
  Registration(const char* name, const char* usage, Run run);
};

struct Command {
  QString name;
  QString usage;
  Run run;
};
const QList<Command>& commands();

QTextStream& out();
QTextStream& err();

// "1,3,5-9" -> {1,3,5,6,7,8,9}; false on a malformed list.
bool parseRowList(const QString& text, QList<int>* rows);

}  // namespace hv::cli
