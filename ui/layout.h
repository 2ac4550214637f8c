// The main window fmTest and its controls as they are when the window is created.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tesqua {

inline constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch

struct Rgb {
  std::uint8_t red;
  std::uint8_t green;
  std::uint8_t blue;
  friend constexpr bool operator==(const Rgb&, const Rgb&) = default;
};

struct PixelRect {
  int left;
  int top;
  int width;
  int height;
  friend constexpr bool operator==(const PixelRect&, const PixelRect&) = default;
};

struct TwipRect {
  int left;
  int top;
  int width;
  int height;
  constexpr PixelRect ToPixels() const {
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel,
            height / kTwipsPerPixel};
  }
};

enum class ControlKind { kLabel, kCheckBox, kTextBox, kListBox };
enum class Alignment { kLeft, kCenter };

struct FontSpec {
  std::u16string_view face;
  double points;
  int weight;
  int charset;
};

struct ControlLayout {
  std::string_view name;
  ControlKind kind;
  TwipRect twips;
  int tab_index;
  std::u16string_view caption;  // empty for the text box and the list
  Rgb fore;
  Rgb back;
  Alignment alignment;
  bool visible;
  bool takes_focus;
};

inline constexpr std::u16string_view kCaption = u"TesquaV2.0";
inline constexpr TwipRect kClientTwips{0, 0, 3630, 5895};
inline constexpr Rgb kWindowBackColor{128, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kYellow{255, 255, 0};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kLightYellow{255, 255, 192};

inline constexpr FontSpec kText1Font{u"宋体", 10.5, 700, 134};  // bold, GB2312 character set

inline constexpr std::u16string_view kLabel1Caption = u"点此编辑未来函数特征库";
inline constexpr std::u16string_view kCheck1Caption = u"窗口置顶";
inline constexpr std::u16string_view kLabel3Caption = u"访问Xuvo软件工作室网站";

// Top to bottom, as the window holds them.
// clang-format off
inline constexpr std::array<ControlLayout, 5> kControls = {{
  // name     kind                    left  top   width height tab caption
  {"Label1", ControlKind::kLabel,    {0,    120,  2175, 255},  1, kLabel1Caption,
   kWhite,       kWindowBackColor, Alignment::kLeft,   true,  false},
  {"Check1", ControlKind::kCheckBox, {2520, 120,  1095, 255},  2, kCheck1Caption,
   kWhite,       kWindowBackColor, Alignment::kLeft,   true,  true},
  {"Text1",  ControlKind::kTextBox,  {0,    360,  3615, 5175}, 0, u"",
   kRed,         kLightYellow,     Alignment::kLeft,   true,  true},
  {"Label3", ControlKind::kLabel,    {0,    5640, 3615, 255},  4, kLabel3Caption,
   kYellow,      kWindowBackColor, Alignment::kCenter, true,  false},
  {"List1",  ControlKind::kListBox,  {120,  7200, 855,  600},  3, u"",
   Rgb{0, 0, 0}, kWhite,           Alignment::kLeft,   false, false},
}};
// clang-format on

// The control of that name; the names are those of kControls.
constexpr const ControlLayout& Control(std::string_view name) {
  for (const ControlLayout& control : kControls) {
    if (control.name == name) return control;
  }
  throw "no such control";  // only reachable at compile time with a wrong name
}

// The usage instructions Text1 holds at creation: 17 lines, each ended by CR LF.
std::u16string Instructions();

// The two lines shown before the library is opened for editing.
inline constexpr std::u16string_view kLabel1Message =
    u"带参数的函数，请在前面加$,否则容易识别错误!\r\n编辑完成保存后重新打开程序即可!";
// Shown instead, and no editor started, when code.ini could not be written and the window
// works from the default library held in memory: there is no file to edit.
inline constexpr std::u16string_view kLibraryInMemoryMessage =
    u"无法在当前文件夹中写入特征库文件 code.ini，现在使用的是内置的特征库。\r\n"
    u"要编辑特征库，请在您可以写入的文件夹（例如“文档”，而不是 Program Files）中运行本程序，"
    u"然后再点此编辑。";
// Shown when no text editor can be started, followed by the library's full path.
inline constexpr std::u16string_view kEditorFailedMessage =
    u"无法启动文本编辑器，请手动打开特征库文件：\r\n";

// The maker's web page.
inline constexpr std::u16string_view kWebPageAddress = u"http://www.xuvo.example/";
// Shown when the desktop cannot open it (Linux), followed by the address.
inline constexpr std::u16string_view kWebPageFailedMessage =
    u"无法打开网页，请在浏览器中访问：\r\n";

}  // namespace tesqua
