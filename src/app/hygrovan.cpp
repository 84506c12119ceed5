// hygrovan: the desktop program.
#include "app/program.h"

int main(int argc, char** argv) {
  hv::Application app(argc, argv);
  return hv::runProgram(app);
}
