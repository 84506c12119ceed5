#pragma once
#include <QString>

namespace hv {

// The help file the program uses: "hygrovan.hlp" beside the executable when it
// exists, else our HTML guide beside it (or in the installed data folder).
QString findHelpFile(const QString& exeDir);

// Shows the help contents; false with a message in *error when it cannot
// (when nothing can open the file, the message gives its path).
bool showHelpContents(const QString& helpFile, QString* error);

}  // namespace hv
