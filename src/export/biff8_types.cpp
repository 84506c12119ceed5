#include "export/biff8_types.h"

#include "platform/codepage.h"

namespace hv::biff8 {

namespace {
constexpr XfBody styleXf(std::uint8_t font, std::uint8_t attr) {
  return {font, 0, 0, 0, 0xF5, 0xFF, 0x20, 0, 0, attr, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x20};
}
constexpr XfBody currencyXf(std::uint8_t format) {
  return {1, 0, format, 0, 0xF5, 0xFF, 0x20, 0, 0, 0xF8, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x20};
}
}  // namespace

const std::array<XfBody, 15> kStyleXfs = {
    styleXf(0, 0x00), styleXf(1, 0xF4), styleXf(1, 0xF4), styleXf(2, 0xF4), styleXf(2, 0xF4),
    styleXf(0, 0xF4), styleXf(0, 0xF4), styleXf(0, 0xF4), styleXf(0, 0xF4), styleXf(0, 0xF4),
    styleXf(0, 0xF4), styleXf(0, 0xF4), styleXf(0, 0xF4), styleXf(0, 0xF4), styleXf(0, 0xF4),
};

const std::array<XfBody, 6> kFixedCellXfs = {
    XfBody{0, 0, 0, 0, 0x01, 0x00, 0x20, 0, 0, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0x20},
    currencyXf(0x2C), currencyXf(0x2A), currencyXf(0x09), currencyXf(0x2B), currencyXf(0x29),
};

const std::array<std::array<std::uint8_t, 4>, 6> kStyles = {{
    {0x10, 0x80, 0x04, 0xFF},
    {0x11, 0x80, 0x07, 0xFF},
    {0x00, 0x80, 0x00, 0xFF},
    {0x12, 0x80, 0x05, 0xFF},
    {0x13, 0x80, 0x03, 0xFF},
    {0x14, 0x80, 0x06, 0xFF},
}};

const std::array<NumberFormat, 8>& builtInNumberFormats() {
  // Kept as the Windows-1251 texts they are ("\xF0" is the Cyrillic "р").
  static const std::array<NumberFormat, 8> formats = {{
      {5, fromCp1251("#,##0\"\xF0.\";\\-#,##0\"\xF0.\"")},
      {6, fromCp1251("#,##0\"\xF0.\";[Red]\\-#,##0\"\xF0.\"")},
      {7, fromCp1251("#,##0.00\"\xF0.\";\\-#,##0.00\"\xF0.\"")},
      {8, fromCp1251("#,##0.00\"\xF0.\";[Red]\\-#,##0.00\"\xF0.\"")},
      {42, fromCp1251("_-* #,##0\"\xF0.\"_-;\\-* #,##0\"\xF0.\"_-;_-* \"-\"\"\xF0.\"_-;_-@_-")},
      {41, fromCp1251("_-* #,##0_\xF0_._-;\\-* #,##0_\xF0_._-;_-* \"-\"_\xF0_._-;_-@_-")},
      {44, fromCp1251("_-* #,##0.00\"\xF0.\"_-;\\-* #,##0.00\"\xF0.\"_-;_-* \"-\"??\"\xF0.\"_-;_-@_-")},
      {43, fromCp1251("_-* #,##0.00_\xF0_._-;\\-* #,##0.00_\xF0_._-;_-* \"-\"??_\xF0_._-;_-@_-")},
  }};
  return formats;
}

const std::array<Color, 56> kDefaultPalette = {
    rgbColor(0, 0, 0),       rgbColor(255, 255, 255), rgbColor(255, 0, 0),     rgbColor(0, 255, 0),
    rgbColor(0, 0, 255),     rgbColor(255, 255, 0),   rgbColor(255, 0, 255),   rgbColor(0, 255, 255),
    rgbColor(128, 0, 0),     rgbColor(0, 128, 0),     rgbColor(0, 0, 128),     rgbColor(128, 128, 0),
    rgbColor(128, 0, 128),   rgbColor(0, 128, 128),   rgbColor(192, 192, 192), rgbColor(128, 128, 128),
    rgbColor(153, 153, 255), rgbColor(153, 51, 102),  rgbColor(255, 255, 204), rgbColor(204, 255, 255),
    rgbColor(102, 0, 102),   rgbColor(255, 128, 128), rgbColor(0, 102, 204),   rgbColor(204, 204, 255),
    rgbColor(0, 0, 128),     rgbColor(255, 0, 255),   rgbColor(255, 255, 0),   rgbColor(0, 255, 255),
    rgbColor(128, 0, 128),   rgbColor(128, 0, 0),     rgbColor(0, 128, 128),   rgbColor(0, 0, 255),
    rgbColor(0, 204, 255),   rgbColor(204, 255, 255), rgbColor(204, 255, 204), rgbColor(255, 255, 153),
    rgbColor(153, 204, 255), rgbColor(255, 153, 204), rgbColor(204, 153, 255), rgbColor(255, 204, 153),
    rgbColor(51, 102, 255),  rgbColor(51, 204, 204),  rgbColor(153, 204, 0),   rgbColor(255, 204, 0),
    rgbColor(255, 153, 0),   rgbColor(255, 102, 0),   rgbColor(102, 102, 153), rgbColor(150, 150, 150),
    rgbColor(0, 51, 102),    rgbColor(51, 153, 102),  rgbColor(0, 51, 0),      rgbColor(51, 51, 0),
    rgbColor(153, 51, 0),    rgbColor(153, 51, 102),  rgbColor(51, 51, 153),   rgbColor(51, 51, 51),
};

const std::array<Color, 16> kStandardColors = {
    rgbColor(255, 255, 255), rgbColor(0, 0, 0),     rgbColor(192, 192, 192), rgbColor(128, 128, 128),
    rgbColor(255, 0, 0),     rgbColor(128, 0, 0),   rgbColor(255, 255, 0),   rgbColor(128, 128, 0),
    rgbColor(0, 255, 0),     rgbColor(0, 128, 0),   rgbColor(0, 255, 255),   rgbColor(0, 128, 128),
    rgbColor(0, 0, 255),     rgbColor(0, 0, 128),   rgbColor(255, 0, 255),   rgbColor(128, 0, 128),
};

}  // namespace hv::biff8
