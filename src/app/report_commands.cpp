#include "app/report_commands.h"

#include "app/table_document.h"
#include "report/report_ui.h"

namespace hv {

ReportCommands::ReportCommands(TableDocument& document, QWidget* parent) : document_(document), parent_(parent) {}

void ReportCommands::preview() {
  if (document_.isOpen() && document_.isActive()) previewReport(parent_, document_.table());
}

void ReportCommands::print() {
  if (document_.isOpen() && document_.isActive()) printReport(parent_, document_.table());
}

}  // namespace hv
