#pragma once
// The download dialog: shows one exchange with the meter and closes with
// mrOk (the DeviceImage is filled) or mrCancel.
#include <QDialog>

#include "device/download_exchange.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

class TForm2 : public QDialog {
  Q_OBJECT
 public:
  explicit TForm2(QWidget* parent = nullptr);
  ~TForm2() override;

  hv::DownloadExchange& exchange() { return exchange_; }
  hv::TSerialPortDriver& SerialPort1() { return exchange_.serialPort(); }

  QLabel* StaticText2 = nullptr;  // status line
  QProgressBar* ProgressBar1 = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QLabel* StaticText5 = nullptr;  // model name
  QLabel* StaticText1 = nullptr;  // software version
  QLabel* StaticText7 = nullptr;  // record counts
  QLabel* Label1 = nullptr;       // port search
  QPushButton* Button1 = nullptr;  // "Отмена"

  // No system menu and no close button: only the exchange or "Отмена" end it.
  void reject() override {}

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void exchangeFinished(int result);

  hv::DownloadExchange exchange_;
  bool closing_ = false;
};
