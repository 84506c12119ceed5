// Test main shared by every test executable: one Qt application object, and a
// fresh folder per test that is the working folder and XDG_CONFIG_HOME.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <memory>

#ifdef HV_TEST_GUI
#include "app/program.h"
#else
#include <QCoreApplication>
#endif

namespace hv::test {
extern QString g_testDir;
}

namespace {

class FreshFolderPerTest : public ::testing::EmptyTestEventListener {
 public:
  void OnTestStart(const ::testing::TestInfo&) override {
    dir_ = std::make_unique<QTemporaryDir>();
    hv::test::g_testDir = dir_->path();
    qputenv("XDG_CONFIG_HOME", QDir(dir_->path()).filePath(QStringLiteral(".config")).toLocal8Bit());
    QDir().mkpath(QDir(dir_->path()).filePath(QStringLiteral(".config")));
    QDir::setCurrent(dir_->path());
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    QDir::setCurrent(QDir::tempPath());
    dir_.reset();
    hv::test::g_testDir.clear();
  }

 private:
  std::unique_ptr<QTemporaryDir> dir_;
};

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
#ifdef HV_TEST_GUI
  hv::Application app(argc, argv);  // the program's own, so errors escaping handlers are reported
#else
  QCoreApplication app(argc, argv);
#endif
  ::testing::UnitTest::GetInstance()->listeners().Append(new FreshFolderPerTest);
  return RUN_ALL_TESTS();
}
