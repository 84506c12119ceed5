#pragma once
// Program entry: application object, windows, splash, message loop.
#include <QApplication>

namespace hv {

// An error escaping an event handler reaches the default error report and
// the program goes on.
class Application : public QApplication {
 public:
  Application(int& argc, char** argv);
  bool notify(QObject* receiver, QEvent* event) override;
};

// Start-up steps, separately callable for tests.
void initialiseApplication();  // title "Hygrovan-RX3"
void createWindows();          // Form1 (FormCreate runs), Form2, Form3, Form4, splash, AboutBox
void showSplash();             // modal until its timer ends it, then destroyed
void destroyWindows();
int runProgram(QApplication& app);  // all of the above, then the message loop

}  // namespace hv
