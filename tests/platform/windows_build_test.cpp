// The Windows side, checked on Linux: the Win32 sources build with MinGW-w64,
// the version resource compiles, carries the program's version, and the
// version lookup finds it there.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <cstring>
#include <deque>
#include <vector>

#include "platform/codepage.h"
#include "platform/version.h"
#include "platform/version_lookup.h"
#include "support/test_support.h"

namespace {

const char* const kWindres = "x86_64-w64-mingw32-windres";
const char* const kCrossCxx = "x86_64-w64-mingw32-g++";

QString tool(const char* name) { return QStandardPaths::findExecutable(QString::fromLatin1(name)); }

#define REQUIRE_TOOL(var, name)                                                        \
  const QString var = tool(name);                                                     \
  if (var.isEmpty()) GTEST_SKIP() << name << " is not installed (binutils-mingw-w64-x86-64 / g++-mingw-w64-x86-64)"

QString sourcePath(const QString& relative) { return hv::test::sourceDir() + QChar('/') + relative; }

quint16 word(const QByteArray& b, qsizetype at) { return quint16(quint8(b[at]) | quint8(b[at + 1]) << 8); }
quint32 dword(const QByteArray& b, qsizetype at) { return quint32(word(b, at)) | quint32(word(b, at + 2)) << 16; }
qsizetype align4(qsizetype n) { return (n + 3) & ~qsizetype(3); }

// One node of a version resource: wLength, wValueLength, wType, key, value, children.
struct VersionNode {
  QString key;
  quint16 type = 0;         // 1: text, 0: binary
  quint16 valueLength = 0;  // characters for text, bytes for binary
  QByteArray value;         // raw bytes
  qsizetype valueOffset = 0;
  std::vector<VersionNode> children;

  const VersionNode* child(const QString& name) const {
    for (const VersionNode& c : children)
      if (c.key.compare(name, Qt::CaseInsensitive) == 0) return &c;
    return nullptr;
  }
  QString text() const {
    QString t = QString::fromUtf16(reinterpret_cast<const char16_t*>(value.constData()), value.size() / 2);
    return t.left(t.indexOf(QChar(0)) < 0 ? t.size() : t.indexOf(QChar(0)));
  }
};

// Parses the node at `at` (offsets relative to the block, which is 4-aligned).
bool parseNode(const QByteArray& b, qsizetype at, qsizetype limit, VersionNode* node) {
  if (at + 6 > limit) return false;
  const qsizetype length = word(b, at);
  if (length < 6 || at + length > limit) return false;
  const qsizetype end = at + length;
  node->valueLength = word(b, at + 2);
  node->type = word(b, at + 4);
  qsizetype p = at + 6;
  while (true) {
    if (p + 2 > end) return false;
    const quint16 c = word(b, p);
    p += 2;
    if (c == 0) break;
    node->key.append(QChar(c));
  }
  p = align4(p);
  const qsizetype valueBytes = node->type == 1 ? qsizetype(node->valueLength) * 2 : node->valueLength;
  if (p + valueBytes > end) return false;
  node->value = b.mid(p, valueBytes);
  node->valueOffset = p;
  p = align4(p + valueBytes);
  while (p < end) {
    VersionNode c;
    if (!parseNode(b, p, end, &c)) return false;
    p = align4(p + word(b, p));
    node->children.push_back(std::move(c));
  }
  return true;
}

// The data of the first entry of a type (RT_VERSION: 16) in a .res file, with its language.
bool findResource(const QByteArray& res, quint16 type, QByteArray* data, quint16* language) {
  qsizetype at = 0;
  while (at + 8 <= res.size()) {
    const quint32 dataSize = dword(res, at);
    const quint32 headerSize = dword(res, at + 4);
    if (headerSize < 16 || at + qsizetype(headerSize) + qsizetype(dataSize) > res.size()) return false;
    qsizetype p = at + 8;
    quint16 typeId = 0;
    for (int field = 0; field < 2; ++field) {  // type, then name
      if (word(res, p) == 0xFFFF) {
        if (field == 0) typeId = word(res, p + 2);
        p += 4;
      } else {
        while (p + 2 <= at + qsizetype(headerSize) && word(res, p) != 0) p += 2;
        p += 2;
      }
    }
    p = align4(p);
    if (typeId == type && p + 16 <= at + qsizetype(headerSize)) {
      *language = word(res, p + 6);
      *data = res.mid(at + headerSize, dataSize);
      return true;
    }
    at = align4(at + headerSize + dataSize);
  }
  return false;
}

// The three version calls over version data in memory, as Windows answers
// them for the ANSI calls: text values converted to the code page, lengths in
// characters with the terminator.
struct FakeVersionCalls {
  QByteArray data;  // empty: the file has no version information
  std::deque<QByteArray> texts;

  hv::VersionInfoCalls calls() {
    hv::VersionInfoCalls c;
    c.infoSize = [this](const char*) { return std::uint32_t(data.size()); };
    c.info = [this](const char*, std::uint32_t size, void* buffer) {
      if (data.isEmpty() || size < std::uint32_t(data.size())) return false;
      std::memcpy(buffer, data.constData(), size_t(data.size()));
      return true;
    };
    c.queryValue = [this](const void* block, const char* subBlock, const void** value, std::uint32_t* length) {
      const auto* bytes = static_cast<const char*>(block);
      const QByteArray b(bytes, word(QByteArray(bytes, 2), 0));
      VersionNode root;
      if (!parseNode(b, 0, b.size(), &root)) return false;
      const VersionNode* node = &root;
      for (const QString& part : QString::fromLatin1(subBlock).split(QChar('\\'), Qt::SkipEmptyParts)) {
        node = node->child(part);
        if (!node) return false;
      }
      if (node->type == 1) {
        texts.push_back(hv::toCp1251(node->text()));
        *value = texts.back().constData();
        *length = std::uint32_t(node->valueLength);
      } else {
        // Binary values point into the caller's block.
        *value = bytes + node->valueOffset;
        *length = std::uint32_t(node->value.size());
      }
      return true;
    };
    return c;
  }
};

QByteArray compileResource(const QString& windres, const QString& rcPath) {
  const QString res = hv::test::testPath(QFileInfo(rcPath).completeBaseName() + QStringLiteral(".res"));
  const auto r = hv::test::runProcess(windres, {QStringLiteral("-O"), QStringLiteral("res"), rcPath, res});
  EXPECT_EQ(r.exitCode, 0) << r.err.constData();
  return hv::test::readFile(res);
}

QByteArray versionDataOf(const QString& windres, const QByteArray& rcText) {
  static int n = 0;
  const QString rc = hv::test::testPath(QStringLiteral("v%1.rc").arg(++n));
  hv::test::writeFile(rc, rcText);
  QByteArray data;
  quint16 language = 0;
  if (!findResource(compileResource(windres, rc), 16, &data, &language)) return {};
  return data;
}

TEST(ProgramResource, CarriesTheIconAndTheVersionUnderTheRussianTranslation) {
  REQUIRE_TOOL(windres, kWindres);
  // The script as the build fills it in from project().
  const QByteArray res =
      compileResource(windres, hv::test::binaryDir() + QStringLiteral("/src/app/hygrovan.rc"));
  QByteArray data;
  quint16 language = 0;
  ASSERT_TRUE(findResource(res, 16, &data, &language));
  EXPECT_EQ(language, 0x0419);
  // The icon group (RT_GROUP_ICON) with its six sizes.
  QByteArray icons;
  ASSERT_TRUE(findResource(res, 14, &icons, &language));
  ASSERT_GE(icons.size(), 6);
  EXPECT_EQ(word(icons, 4), 6);

  VersionNode root;
  ASSERT_TRUE(parseNode(data, 0, data.size(), &root));
  EXPECT_EQ(root.key, QStringLiteral("VS_VERSION_INFO"));
  // The fixed part: signature, then file and product version 1.0.0.8.
  ASSERT_EQ(root.value.size(), 52);
  EXPECT_EQ(dword(root.value, 0), 0xFEEF04BDu);
  EXPECT_EQ(dword(root.value, 8), 0x00010000u);
  EXPECT_EQ(dword(root.value, 12), 0x00000008u);
  EXPECT_EQ(dword(root.value, 16), 0x00010000u);
  EXPECT_EQ(dword(root.value, 20), 0x00000008u);

  const VersionNode* table = root.child(QStringLiteral("StringFileInfo"));
  ASSERT_NE(table, nullptr);
  table = table->child(QStringLiteral("041904E3"));
  ASSERT_NE(table, nullptr);
  const QList<QPair<QString, QString>> expected = {
      {QStringLiteral("FileVersion"), QStringLiteral("1.0.0.8")},
      {QStringLiteral("ProductVersion"), QStringLiteral("1.0.0.0")},
      {QStringLiteral("ProductName"), QStringLiteral("Hygrovan-RX3")},
      {QStringLiteral("InternalName"), QStringLiteral("Hygrovan-RX3")},
      {QStringLiteral("FileDescription"), QStringLiteral("Программа для обмена данными с прибором Hygrovan-RX3")},
  };
  for (const auto& [key, text] : expected) {
    const VersionNode* v = table->child(key);
    ASSERT_NE(v, nullptr) << key.toStdString();
    EXPECT_EQ(v->type, 1);
    EXPECT_EQ(v->text(), text) << key.toStdString();
  }

  const VersionNode* translation = root.child(QStringLiteral("VarFileInfo"));
  ASSERT_NE(translation, nullptr);
  translation = translation->child(QStringLiteral("Translation"));
  ASSERT_NE(translation, nullptr);
  ASSERT_EQ(translation->value.size(), 4);
  EXPECT_EQ(word(translation->value, 0), 0x0419);
  EXPECT_EQ(word(translation->value, 2), 0x04E3);

  // The lookup as the about box runs it on Windows, and the version this build shows elsewhere.
  FakeVersionCalls fake{data, {}};
  const std::string version = hv::lookUpFileVersion("hygrovan.exe", fake.calls());
  EXPECT_EQ(version, "1.0.0.8");
  EXPECT_EQ(QString::fromStdString(version), hv::builtInFileVersion());
}

TEST(VersionLookup, FollowsTheFirstTranslationAndFallsBackToZeros) {
  REQUIRE_TOOL(windres, kWindres);
  const QByteArray head =
      "#include <winver.h>\n1 VERSIONINFO\nFILEVERSION 2,3,4,5\nBEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n";
  auto lookUp = [&](const QByteArray& rc) {
    FakeVersionCalls fake{versionDataOf(windres, rc), {}};
    return hv::lookUpFileVersion("x.exe", fake.calls());
  };
  // Another translation: its own table is read, not the Russian one.
  EXPECT_EQ(lookUp(head + "  BLOCK \"041904E3\"\n  BEGIN\n   VALUE \"FileVersion\", \"1.0.0.8\"\n  END\n"
                          "  BLOCK \"040904B0\"\n  BEGIN\n   VALUE \"FileVersion\", \"2.3.4.5\"\n  END\n END\n"
                          " BLOCK \"VarFileInfo\"\n BEGIN\n  VALUE \"Translation\", 0x0409, 1200\n END\nEND\n"),
            "2.3.4.5");
  // An empty version text.
  EXPECT_EQ(lookUp(head + "  BLOCK \"041904E3\"\n  BEGIN\n   VALUE \"FileVersion\", \"\"\n  END\n END\n"
                          " BLOCK \"VarFileInfo\"\n BEGIN\n  VALUE \"Translation\", 0x0419, 0x04E3\n END\nEND\n"),
            "0.0.0.0");
  // No translation entry.
  EXPECT_EQ(lookUp(head + "  BLOCK \"041904E3\"\n  BEGIN\n   VALUE \"FileVersion\", \"1.0.0.8\"\n  END\n END\nEND\n"),
            "0.0.0.0");
  // A translation whose table is missing, and a table without "FileVersion".
  EXPECT_EQ(lookUp(head + "  BLOCK \"041904E3\"\n  BEGIN\n   VALUE \"ProductVersion\", \"1.0.0.0\"\n  END\n END\n"
                          " BLOCK \"VarFileInfo\"\n BEGIN\n  VALUE \"Translation\", 0x0419, 0x04E3\n END\nEND\n"),
            "0.0.0.0");
  EXPECT_EQ(lookUp(head + "  BLOCK \"041904E3\"\n  BEGIN\n   VALUE \"FileVersion\", \"1.0.0.8\"\n  END\n END\n"
                          " BLOCK \"VarFileInfo\"\n BEGIN\n  VALUE \"Translation\", 0x0409, 0x04E3\n END\nEND\n"),
            "0.0.0.0");
  // A file without version information.
  FakeVersionCalls none;
  EXPECT_EQ(hv::lookUpFileVersion("x.exe", none.calls()), "0.0.0.0");
  EXPECT_EQ(hv::translationKey(0x0419, 0x04E3), "041904E3");
}

TEST(WindowsBuild, Win32PiecesBuildWithMinGW) {
  REQUIRE_TOOL(cxx, kCrossCxx);
  REQUIRE_TOOL(windres, kWindres);
  const QString src = sourcePath(QStringLiteral("src"));
  const QStringList common = {QStringLiteral("-std=c++20"), QStringLiteral("-Wall"), QStringLiteral("-Wextra"),
                              QStringLiteral("-Werror"), QStringLiteral("-I") + src};

  // The resource and the Win32 code linked into a program, against the
  // system's headers only: every call must resolve.
  const QString resObject = hv::test::testPath(QStringLiteral("hygrovan_res.o"));
  auto r = hv::test::runProcess(windres, {hv::test::binaryDir() + QStringLiteral("/src/app/hygrovan.rc"), resObject});
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  const QString exe = hv::test::testPath(QStringLiteral("win32_check.exe"));
  r = hv::test::runProcess(
      cxx, common + QStringList{QStringLiteral("-O1"), QStringLiteral("-static"),
                                sourcePath(QStringLiteral("tests/platform/win32/win32_check.cpp")),
                                src + QStringLiteral("/device/serial_backend_win32.cpp"),
                                src + QStringLiteral("/platform/version_lookup.cpp"),
                                src + QStringLiteral("/platform/file.cpp"), src + QStringLiteral("/platform/file_win32.cpp"),
                                resObject,
                                QStringLiteral("-lversion"), QStringLiteral("-o"), exe},
      180000);
  ASSERT_EQ(r.exitCode, 0) << r.err.constData();
  const QByteArray image = hv::test::readFile(exe);
  ASSERT_GT(image.size(), 0x40);
  EXPECT_TRUE(image.startsWith("MZ"));
  const quint32 pe = dword(image, 0x3C);
  ASSERT_LT(qsizetype(pe) + 6, image.size());
  EXPECT_EQ(image.mid(pe, 4), QByteArray("PE\0\0", 4));
  EXPECT_EQ(word(image, pe + 4), 0x8664);  // x86-64
  // The Win32 calls are imported by name.
  for (const char* call : {"CreateFileA", "SetCommState", "SetupComm", "PurgeComm", "SetCommTimeouts", "ClearCommError",
                           "ReadFile", "WriteFile", "GetCommModemStatus", "CloseHandle", "FormatMessageW", "GetFileVersionInfoSizeA",
                           "GetFileVersionInfoA", "VerQueryValueA", "CreateFileW", "MoveFileExW", "FlushFileBuffers",
                           "SetFileInformationByHandle"})
    EXPECT_TRUE(image.contains(call)) << call;
}

}  // namespace
