#pragma once
#include <QString>

class QWidget;

namespace hv {

// The help file the program uses: "hygrovan.hlp" beside the executable when it
// exists, else our HTML guide beside it (or in the installed data folder).
QString findHelpFile(const QString& exeDir);

// Shows the help contents; false with a message in *error when it cannot
// (when nothing can open the file, the message gives its path). An HTML guide
// is shown in the program's own help window (one for the program, raised when
// open already, a window of parent's), any other file by the desktop.
bool showHelpContents(const QString& helpFile, QString* error, QWidget* parent = nullptr);

}  // namespace hv
