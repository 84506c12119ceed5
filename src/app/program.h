#pragma once
// Program entry: the application object, the main window after the splash,
// the message loop.
#include <QApplication>
#include <QStringList>
#include <optional>

namespace hv {

// An error escaping an event handler reaches the default error report and
// the program goes on.
class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// The application's name, organisation and title "Hygrovan-RX3".
void initialiseApplication();
// Creates the main window (which creates the windows its commands show),
// shows the splash until its timer ends it, then shows the main window and
// runs the message loop. The windows are gone when it returns. A table named
// in the arguments (program name first) is opened as "Открыть" opens it.
int runProgram(QApplication& app, const QStringList& arguments = {});

// Whether the arguments only ask for the help or the version, which need no
// display; answerConsoleRequest() prints it (an application object must
// exist) and returns the exit code.
bool isConsoleRequest(const QStringList& arguments);
int answerConsoleRequest(const QStringList& arguments);

}  // namespace hv
