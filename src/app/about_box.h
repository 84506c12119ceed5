#pragma once
// The about box: product name, purpose and the program's file version.
#include <QDialog>

class QLabel;
class QPushButton;

namespace hv {

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);

  QLabel* productLabel() const { return productLabel_; }
  QLabel* versionLabel() const { return versionLabel_; }
  QLabel* purposeLabel() const { return purposeLabel_; }
  QPushButton* okButton() const { return okButton_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QLabel* productLabel_ = nullptr;
  QLabel* versionLabel_ = nullptr;
  QLabel* purposeLabel_ = nullptr;
  QPushButton* okButton_ = nullptr;
};

}  // namespace hv
