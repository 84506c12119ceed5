#pragma once
// The download dialog: shows one exchange with the meter and closes with
// mrOk (the exchange's image holds the download) or mrCancel.
#include <QDialog>

#include "device/download_exchange.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace hv {

class DownloadDialog : public QDialog {
  Q_OBJECT
 public:
  explicit DownloadDialog(QWidget* parent = nullptr);
  ~DownloadDialog() override;

  DownloadExchange& exchange() { return exchange_; }
  // What the last download that ended with mrOk brought.
  const DeviceImageBytes& image() const { return exchange_.image(); }
  TSerialPortDriver& serialPort() { return exchange_.serialPort(); }

  QLabel* statusLabel() const { return statusLabel_; }
  QProgressBar* progressBar() const { return progressBar_; }
  QLabel* modelLabel() const { return modelLabel_; }
  QLabel* versionLabel() const { return versionLabel_; }
  QLabel* countsLabel() const { return countsLabel_; }
  QLabel* searchLabel() const { return searchLabel_; }
  QPushButton* cancelButton() const { return cancelButton_; }

  // No system menu and no close button: only the exchange or "Отмена" end it.
  void reject() override {}

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void exchangeFinished(int result);

  DownloadExchange exchange_;
  QLabel* statusLabel_ = nullptr;
  QProgressBar* progressBar_ = nullptr;
  QGroupBox* infoBox_ = nullptr;
  QLabel* modelLabel_ = nullptr;
  QLabel* versionLabel_ = nullptr;
  QLabel* countsLabel_ = nullptr;
  QLabel* searchLabel_ = nullptr;  // the port search
  QPushButton* cancelButton_ = nullptr;
  bool closing_ = false;
};

}  // namespace hv
