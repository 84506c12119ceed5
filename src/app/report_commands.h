#pragma once
// "Предварительный просмотр" and "Печать" of the archive on view.
class QWidget;

namespace hv {

class TableDocument;

class ReportCommands {
 public:
  ReportCommands(TableDocument& document, QWidget* parent);

  // Each builds the report anew from the rows on view; nothing without an
  // open table.
  void preview();
  void print();

 private:
  TableDocument& document_;
  QWidget* parent_;
};

}  // namespace hv
