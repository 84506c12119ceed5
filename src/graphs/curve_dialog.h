#pragma once
// The curve dialog. Created once at start-up; the boxes keep their state for
// the whole run.
#include <QDialog>

#include "graphs/chart_data.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace hv {

class CurveDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CurveDialog(QWidget* parent = nullptr);

  // The ticked curves.
  CurveChoice curves() const;
  // Target, forecast with Me, by material. A forecast needs a target: without
  // one (or with a field that is not a moisture) "Построить" is not offered.
  ChartOptions options() const;
  void setOptions(const ChartOptions& options);
  // The limits of the lot norms that may be taken as the target.
  void setNormTargets(const QList<NormTarget>& targets);

  // Closing by the close box (or Escape) gives mrCancel.
  void reject() override;

  QGroupBox* curveBox() const { return curveBox_; }
  QCheckBox* wBox() const { return wBox_; }
  QCheckBox* wMinBox() const { return wMinBox_; }
  QCheckBox* wMaxBox() const { return wMaxBox_; }
  QPushButton* buildButton() const { return buildButton_; }
  QLineEdit* targetEdit() const { return targetEdit_; }
  QCheckBox* forecastBox() const { return forecastBox_; }
  QLineEdit* equilibriumEdit() const { return equilibriumEdit_; }
  QCheckBox* byMaterialBox() const { return byMaterialBox_; }
  QComboBox* normBox() const { return normBox_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // "Построить" is offered only with a curve ticked and the fields readable.
  void updateBuildButton();
  bool acceptable() const;
  void build();

  QGroupBox* curveBox_ = nullptr;
  QCheckBox* wBox_ = nullptr;
  QCheckBox* wMinBox_ = nullptr;
  QCheckBox* wMaxBox_ = nullptr;
  QPushButton* buildButton_ = nullptr;
  QLineEdit* targetEdit_ = nullptr;
  QCheckBox* forecastBox_ = nullptr;
  QLineEdit* equilibriumEdit_ = nullptr;
  QCheckBox* byMaterialBox_ = nullptr;
  QComboBox* normBox_ = nullptr;
  QList<NormTarget> normTargets_;
};

}  // namespace hv
