#pragma once
// "Построить график" and "График": the curve dialog, then the chart of the
// selection of the grid on view.
class QWidget;

namespace hv {

class ArchivePages;
class SettingsKey;
class ChartWindow;
class CurveDialog;

class ChartCommand {
 public:
  // Creates the chart window and the curve dialog, which live as long as
  // the parent window (the ticked curves stay for the whole run).
  // The curve dialog's target, Me and by-material are kept in the settings.
  ChartCommand(ArchivePages& pages, SettingsKey& settings, QWidget* parent);

  void run();

  ChartWindow& chartWindow() const { return *chart_; }
  CurveDialog& curveDialog() const { return *curves_; }

 private:
  ArchivePages& pages_;
  SettingsKey& settings_;
  ChartWindow* chart_;
  CurveDialog* curves_;
};

}  // namespace hv
