// The download dialog against the meter simulator.
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "device/device_image.h"
#include "device/download_dialog.h"
#include "platform/ui.h"
#include "support/scripted_ui.h"
#include "support/meter_simulator.h"
#include "support/test_support.h"

namespace {

class DownloadDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int n = 1; n <= 38; ++n) setCom(n, QStringLiteral("/nonexistent/hygrovan-com%1").arg(n));
    hv::setUserInteraction(&ui_);
  }
  void TearDown() override {
    hv::setUserInteraction(nullptr);
    for (int n = 1; n <= 38; ++n) qunsetenv(QStringLiteral("HYGROVAN_COM%1").arg(n).toLatin1().constData());
    sim_.stop();
  }
  static void setCom(int n, const QString& path) {
    qputenv(QStringLiteral("HYGROVAN_COM%1").arg(n).toLatin1().constData(), path.toLocal8Bit());
  }
  // Starts the simulator and points COM1 at it.
  void startMeter(const QStringList& args) {
    ASSERT_TRUE(sim_.start(args));
    setCom(1, sim_.path());
  }

  hv::test::ScriptedUserInteraction ui_;
  hv::test::Simulator sim_;
};

}  // namespace

TEST_F(DownloadDialogTest, DownloadsTwiceAndClosesWithOk) {
  startMeter({"--generate", "3,0,2", "--type", "1", "--version", "21.3.5"});
  hv::DownloadDialog form;
  for (int run = 0; run < 2; ++run) {
    form.exchange().image().fill(0xEE);
    EXPECT_EQ(form.exec(), hv::mrOk);
    EXPECT_EQ(form.windowTitle(), QStringLiteral("Прием данных"));
    EXPECT_EQ(form.modelLabel()->text(), QStringLiteral("Hygrovan-RX3W"));
    EXPECT_EQ(form.versionLabel()->text(), QStringLiteral("21.03.05"));
    EXPECT_EQ(form.countsLabel()->text(), QStringLiteral("3/0/2"));
    EXPECT_EQ(form.statusLabel()->text(), QStringLiteral("Идет прием информации ..."));
    EXPECT_FALSE(form.serialPort().IsOpen());
    EXPECT_EQ(hv::archiveCount(hv::ArchiveKind::Wood, form.image()), 3);
    EXPECT_EQ(hv::archiveCount(hv::ArchiveKind::Bulk, form.image()), 2);
  }
  EXPECT_TRUE(ui_.messages().isEmpty());
}

TEST_F(DownloadDialogTest, WrongDeviceBoxWithThePollingStopped) {
  startMeter({"--type", "9"});
  hv::DownloadDialog form;
  bool portOpenWhileBoxShown = true;
  ui_.onShown = [&](const hv::test::ScriptedUserInteraction::Shown&) {
    portOpenWhileBoxShown = form.serialPort().IsOpen();
  };
  form.exchange().image().fill(0xEE);
  EXPECT_EQ(form.exec(), hv::mrCancel);
  ASSERT_EQ(ui_.messages().size(), 1);
  EXPECT_EQ(ui_.messages()[0].caption, QStringLiteral("Error"));
  EXPECT_EQ(ui_.messages()[0].text, QStringLiteral("Вы подключили не тот прибор !"));
  EXPECT_EQ(ui_.messages()[0].icon, hv::MsgIcon::Error);
  EXPECT_FALSE(portOpenWhileBoxShown);
  EXPECT_EQ(form.image()[0], 0xEE);
}

TEST_F(DownloadDialogTest, CancelEndsTheWaitEscapeDoesNot) {
  startMeter({"--silent"});
  hv::DownloadDialog form;
  bool visibleAfterEscape = false;
  QTimer::singleShot(300, &form, [&] {
    QTest::keyClick(&form, Qt::Key_Escape);
    visibleAfterEscape = form.isVisible();
    EXPECT_TRUE(form.serialPort().IsOpen());
    EXPECT_EQ(form.statusLabel()->text(), QStringLiteral("Ожидание готовности прибора ..."));
    form.cancelButton()->click();
  });
  EXPECT_EQ(form.exec(), hv::mrCancel);
  EXPECT_TRUE(visibleAfterEscape);
  EXPECT_FALSE(form.serialPort().IsOpen());
  EXPECT_EQ(form.progressBar()->value(), 0);
  EXPECT_TRUE(ui_.messages().isEmpty());
}
