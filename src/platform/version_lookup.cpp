#include "platform/version_lookup.h"

#include <cstdio>
#include <cstring>
#include <vector>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace hv {

std::string translationKey(std::uint16_t language, std::uint16_t codePage) {
  char key[9];
  std::snprintf(key, sizeof key, "%04X%04X", unsigned(language), unsigned(codePage));
  return key;
}

std::string lookUpFileVersion(const std::string& exePath, const VersionInfoCalls& calls) {
  static const std::string none = "0.0.0.0";
  const std::uint32_t size = calls.infoSize(exePath.c_str());
  if (size == 0) return none;
  // One spare zero byte, so a text value at the very end is still terminated.
  std::vector<unsigned char> buffer(std::size_t(size) + 1, 0);
  if (!calls.info(exePath.c_str(), size, buffer.data())) return none;

  std::string key;
  const void* value = nullptr;
  std::uint32_t length = 0;
  if (calls.queryValue(buffer.data(), "\\VarFileInfo\\Translation", &value, &length) && value && length >= 4) {
    const auto* pair = static_cast<const unsigned char*>(value);
    key = translationKey(std::uint16_t(pair[0] | pair[1] << 8), std::uint16_t(pair[2] | pair[3] << 8));
  }

  value = nullptr;
  length = 0;
  const std::string path = "\\StringFileInfo\\" + key + "\\FileVersion";
  if (!calls.queryValue(buffer.data(), path.c_str(), &value, &length) || !value || length < 2) return none;
  // The text ends at its terminator, and never later than the length says.
  const std::size_t n = strnlen(static_cast<const char*>(value), length);
  if (n == 0) return none;
  return std::string(static_cast<const char*>(value), n);
}

#ifdef _WIN32
VersionInfoCalls win32VersionInfoCalls() {
  VersionInfoCalls calls;
  calls.infoSize = [](const char* path) -> std::uint32_t {
    DWORD handle = 0;
    return GetFileVersionInfoSizeA(path, &handle);
  };
  calls.info = [](const char* path, std::uint32_t size, void* buffer) {
    return GetFileVersionInfoA(path, 0, size, buffer) != FALSE;
  };
  calls.queryValue = [](const void* block, const char* subBlock, const void** value, std::uint32_t* length) {
    LPVOID p = nullptr;
    UINT n = 0;
    if (!VerQueryValueA(block, subBlock, &p, &n)) return false;
    *value = p;
    *length = n;
    return true;
  };
  return calls;
}
#endif

}  // namespace hv
