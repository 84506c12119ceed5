#pragma once
// "Оценка партии…": the selected rows of the archive on view (every row of
// it when fewer than two are selected) judged against a norm in the lot
// assessment dialog.
class QWidget;

namespace hv {

class ArchivePages;
class LotDialog;
class SettingsKey;
class TableDocument;

class LotCommand {
 public:
  // The dialog lives as long as the parent window; settings: open, the
  // window's own key, where the norms are kept.
  LotCommand(TableDocument& document, ArchivePages& pages, SettingsKey& settings, QWidget* parent);

  void run();

  LotDialog& dialog() const { return *dialog_; }

 private:
  TableDocument& document_;
  ArchivePages& pages_;
  LotDialog* dialog_;
};

}  // namespace hv
