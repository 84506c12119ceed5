// hygrovan: the desktop program.
#include <QCoreApplication>

#include "app/program.h"
#include "platform/file_names.h"

int main(int argc, char** argv) {
  // The help and the version need no display.
  if (hv::isConsoleRequest(hv::commandLineArguments(argc, argv))) {
    QCoreApplication app(argc, argv);
    return hv::answerConsoleRequest(hv::commandLineArguments(argc, argv));
  }
  hv::Application app(argc, argv);
  // After Qt has taken its own options (-platform, -style ...) out.
  return hv::runProgram(app, hv::commandLineArguments(argc, argv));
}
