#pragma once
// Every message box, file dialog and colour dialog of the program, and the
// list of printers its print dialog offers, pass through one UserInteraction,
// so tests can script the answers and see what the user would have seen.
#include <QColor>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "platform/dialog_types.h"

class QWidget;

namespace hv {

class UserInteraction {
 public:
  virtual ~UserInteraction() = default;
  // A Yes/No box put away unanswered (Escape, its close button) answers Cancel.
  virtual MsgResult message(QWidget* parent, const QString& caption, const QString& text, MsgIcon icon,
                            MsgButtons buttons) = 0;
  // Empty text when the user cancels.
  virtual QString openFileName(QWidget* parent, const FileDialogRequest& request) = 0;
  virtual QString saveFileName(QWidget* parent, const FileDialogRequest& request) = 0;
  virtual std::optional<QColor> chooseColor(QWidget* parent, const QColor& initial) = 0;
  // The installed printers, the default one first; empty when there is none.
  virtual QStringList printerNames() = 0;
  // The CSV export's choices, starting from `initial`; nothing when the user cancels.
  virtual std::optional<CsvExportOptions> csvExportOptions(QWidget* parent, const CsvExportOptions& initial) = 0;
};

// The interaction in force: the real dialogs unless a test installed another.
UserInteraction& ui();
// Installs an interaction (not owned); nullptr restores the real dialogs.
void setUserInteraction(UserInteraction* interaction);

// The application title: "Hygrovan-RX3", or "file - Hygrovan-RX3" while a table is open.
QString applicationTitle();
void setApplicationTitle(const QString& title);
// The open table's name without folder and last extension, empty while none
// is open: what the save dialogs of things made from it propose.
QString documentName();
void setDocumentName(const QString& name);
// The document's name with the extension (".pdf"), or `fallback` while no
// table is open.
QString proposedFileName(const QString& extension, const QString& fallback = QString());

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
  QStringList printerNames() override;
  std::optional<CsvExportOptions> csvExportOptions(QWidget* parent, const CsvExportOptions& initial) override;
};

}  // namespace hv
