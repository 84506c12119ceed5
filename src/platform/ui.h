#pragma once
// Every message box, file dialog and colour dialog of the program passes
// through one UserInteraction, so tests can script the answers and see what
// the user would have seen.
#include <QColor>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace hv {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, YesNo, OkCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

// Modal results of the program's own dialogs (QDialog::exec / done).
enum ModalResult : int { mrNone = 0, mrOk = 1, mrCancel = 2 };

struct FileDialogRequest {
  QString caption;
  QString filter;      // "Базы данных|*.db" style: description|pattern pairs
  QString defaultExt;  // ".db"
  QString initialDir;
  QString fileName;    // preset name, may be empty
  bool overwritePrompt = true;  // save dialog: ask before an existing file is chosen
};

class UserInteraction {
 public:
  virtual ~UserInteraction() = default;
  virtual MsgResult message(QWidget* parent, const QString& caption, const QString& text, MsgIcon icon,
                            MsgButtons buttons) = 0;
  // Empty text when the user cancels.
  virtual QString openFileName(QWidget* parent, const FileDialogRequest& request) = 0;
  virtual QString saveFileName(QWidget* parent, const FileDialogRequest& request) = 0;
  virtual std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) = 0;
};

// The interaction in force: the real dialogs unless a test installed another.
UserInteraction& ui();
// Installs an interaction (not owned); nullptr restores the real dialogs.
void setUserInteraction(UserInteraction* interaction);

// The application title: "Hygrovan-RX3", or "file - Hygrovan-RX3" while a table is open.
QString applicationTitle();
void setApplicationTitle(const QString& title);

// The default error report: application title as caption, error icon, OK,
// the text with the full-stop rule.
void showDefaultErrorReport(const QString& text);

// Runs a command; an error escaping it goes to the default error report and
// the program goes on. Returns false when the command ended by an error.
bool runCommand(const std::function<void()>& command);

// Adds the default extension when the chosen name has none (as the common
// dialogs do).
QString withDefaultExtension(const QString& fileName, const QString& defaultExt);

// The real Qt dialogs.
class QtUserInteraction : public UserInteraction {
 public:
  MsgResult message(QWidget* parent, const QString& caption, const QString& text, MsgIcon icon,
                    MsgButtons buttons) override;
  QString openFileName(QWidget* parent, const FileDialogRequest& request) override;
  QString saveFileName(QWidget* parent, const FileDialogRequest& request) override;
  std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override;
};

// A scripted interaction for tests: records every request and answers from queues.
class ScriptedUserInteraction : public UserInteraction {
 public:
  struct Shown {
    enum Kind { Message, OpenFile, SaveFile, Color } kind;
    QString caption;
    QString text;  // message text, or the dialog's filter
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    FileDialogRequest file;
  };

  // Answers are taken in order; when a queue is empty: Ok/No for messages,
  // cancel for dialogs.
  QList<MsgResult> messageAnswers;
  QStringList fileAnswers;
  QList<std::optional<QColor>> colorAnswers;
  // Called after each message is recorded (for example to check state while a box is open).
  std::function<void(const Shown&)> onShown;

  QList<Shown> shown;
  QList<Shown> messages() const;
  void clear() { shown.clear(); }

  MsgResult message(QWidget* parent, const QString& caption, const QString& text, MsgIcon icon,
                    MsgButtons buttons) override;
  QString openFileName(QWidget* parent, const FileDialogRequest& request) override;
  QString saveFileName(QWidget* parent, const FileDialogRequest& request) override;
  std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) override;
};

}  // namespace hv
