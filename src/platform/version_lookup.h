#pragma once
// The file version of an executable from its version resource, through the
// three Win32 version calls. Plain C++ without Qt; the calls are passed in, so
// the same lookup runs on Windows and, over a parsed resource, in the tests.
#include <cstdint>
#include <functional>
#include <string>

namespace hv {

struct VersionInfoCalls {
  // GetFileVersionInfoSizeA: the size of the file's version information, 0 when none.
  std::function<std::uint32_t(const char* path)> infoSize;
  // GetFileVersionInfoA: copies it into a buffer of that size.
  std::function<bool(const char* path, std::uint32_t size, void* buffer)> info;
  // VerQueryValueA: a value by path; text lengths count characters with the terminator.
  std::function<bool(const void* block, const char* subBlock, const void** value, std::uint32_t* length)> queryValue;
};

// "FileVersion" of the first translation's string table, "0.0.0.0" when the
// file has no version information, no translation or no such value.
std::string lookUpFileVersion(const std::string& exePath, const VersionInfoCalls& calls);

// "041904E3" for Russian in code page 1251.
std::string translationKey(std::uint16_t language, std::uint16_t codePage);

#ifdef _WIN32
VersionInfoCalls win32VersionInfoCalls();
#endif

}  // namespace hv
