#pragma once
// The curve dialog. Created once at start-up; the boxes keep their state for
// the whole run.
#include <QDialog>

#include "graphs/chart_data.h"

class QCheckBox;
class QGroupBox;
class QPushButton;

namespace hv {

class CurveDialog : public QDialog {
  Q_OBJECT

 public:
  explicit CurveDialog(QWidget* parent = nullptr);

  // The ticked curves.
  CurveChoice curves() const;

  // Closing by the close box (or Escape) gives mrCancel.
  void reject() override;

  QGroupBox* curveBox() const { return curveBox_; }
  QCheckBox* wBox() const { return wBox_; }
  QCheckBox* wMinBox() const { return wMinBox_; }
  QCheckBox* wMaxBox() const { return wMaxBox_; }
  QPushButton* buildButton() const { return buildButton_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // "Построить" is offered only with a curve ticked.
  void updateBuildButton();
  void build();

  QGroupBox* curveBox_ = nullptr;
  QCheckBox* wBox_ = nullptr;
  QCheckBox* wMinBox_ = nullptr;
  QCheckBox* wMaxBox_ = nullptr;
  QPushButton* buildButton_ = nullptr;
};

}  // namespace hv
