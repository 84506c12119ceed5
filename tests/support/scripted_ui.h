#pragma once
// A scripted UserInteraction: records every box and dialog the program would
// show and answers from queues, so GUI tests run without a user.
#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

#include "platform/ui.h"

namespace hv::test {

class ScriptedUserInteraction : public UserInteraction {
 public:
  struct Shown {
    enum Kind { Message, OpenFile, SaveFile, Color, CsvOptions } kind;
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
  // The CSV dialog's answers; with none left it is cancelled. `csvShown`
  // keeps what it was opened with.
  QList<std::optional<CsvExportOptions>> csvAnswers;
  QList<CsvExportOptions> csvShown;
  // The installed printers; none unless a test says so, so no test prints on
  // a real printer.
  QStringList printers;
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
  QStringList printerNames() override { return printers; }
  std::optional<CsvExportOptions> csvExportOptions(QWidget* parent, const CsvExportOptions& initial) override;
};

}  // namespace hv::test
