#pragma once
// Program entry: the application object, the main window after the splash,
// the message loop.
#include <QApplication>

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
// runs the message loop. The windows are gone when it returns.
int runProgram(QApplication& app);

}  // namespace hv
