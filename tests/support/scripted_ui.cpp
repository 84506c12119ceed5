#include "support/scripted_ui.h"

namespace hv::test {

QList<ScriptedUserInteraction::Shown> ScriptedUserInteraction::messages() const {
  QList<Shown> out;
  for (const Shown& s : shown)
    if (s.kind == Shown::Message) out << s;
  return out;
}

MsgResult ScriptedUserInteraction::message(QWidget*, const QString& caption, const QString& text, MsgIcon icon,
                                           MsgButtons buttons) {
  Shown s{Shown::Message, caption, text, icon, buttons, {}};
  shown << s;
  if (onShown) onShown(s);
  if (!messageAnswers.isEmpty()) return messageAnswers.takeFirst();
  return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
}

QString ScriptedUserInteraction::openFileName(QWidget*, const FileDialogRequest& request) {
  shown << Shown{Shown::OpenFile, request.caption, request.filter, MsgIcon::None, MsgButtons::Ok, request};
  return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

QString ScriptedUserInteraction::saveFileName(QWidget*, const FileDialogRequest& request) {
  shown << Shown{Shown::SaveFile, request.caption, request.filter, MsgIcon::None, MsgButtons::Ok, request};
  return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
}

std::optional<QColor> ScriptedUserInteraction::chooseColor(QWidget*, const QColor& initial) {
  shown << Shown{Shown::Color, QString(), initial.name(), MsgIcon::None, MsgButtons::Ok, {}};
  return colorAnswers.isEmpty() ? std::nullopt : colorAnswers.takeFirst();
}

std::optional<CsvExportOptions> ScriptedUserInteraction::csvExportOptions(QWidget*, const CsvExportOptions& initial) {
  shown << Shown{Shown::CsvOptions, QString(), initial.archiveOnView, MsgIcon::None, MsgButtons::Ok, {}};
  csvShown << initial;
  return csvAnswers.isEmpty() ? std::nullopt : csvAnswers.takeFirst();
}

}  // namespace hv::test
