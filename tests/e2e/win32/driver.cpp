// Drives tesqua.exe (tesqua-scan.exe for the console) like a user: `tesqua-e2e CASE EXE DIR`.
// Built again as tesqua-e2e-probe.dll, which a hook loads into tesqua to read a control's font
// or to tell the window that its DPI changed, as Windows does (Wine never does).
#include <windows.h>
// After <windows.h>, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace {
constexpr wchar_t kReadFont[] = L"TesquaE2eReadFont";
// w: the DPI; l: the suggested rectangle's left, top, right and bottom, 16 bits each
constexpr wchar_t kChangeDpi[] = L"TesquaE2eChangeDpi";
struct FontReport {
  LOGFONTW asked;   // as tesqua made it
  int file_weight;  // the weight class of the font file the system draws it with
};
}  // namespace

#ifdef TESQUA_E2E_PROBE
extern "C" __declspec(dllexport) LRESULT CALLBACK ProbeHook(int code, WPARAM w, LPARAM l) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(l);
  if (code == HC_ACTION && sent->message == RegisterWindowMessageW(kChangeDpi)) {
    const auto at = [sent](int shift) { return LONG(sent->lParam >> shift & 0xFFFF); };
    RECT suggested{at(0), at(16), at(32), at(48)};
    SendMessageW(sent->hwnd, WM_DPICHANGED, MAKEWPARAM(sent->wParam, sent->wParam),
                 LPARAM(&suggested));
  }
  if (code == HC_ACTION && sent->message == RegisterWindowMessageW(kReadFont)) {
    const auto control = reinterpret_cast<HWND>(sent->wParam);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    HDC dc = GetDC(control);
    const HGDIOBJ old = SelectObject(dc, font);
    // The OS/2 table holds the weight class at offset 4, big-endian: a regular file that the
    // system draws thicker keeps its 400.
    BYTE weight[2] = {};
    FontReport report{};
    GetObjectW(font, sizeof report.asked, &report.asked);
    GetFontData(dc, 0x322F534F /* "OS/2" */, 4, weight, sizeof weight);
    report.file_weight = weight[0] << 8 | weight[1];
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    COPYDATASTRUCT data{0, sizeof report, &report};  // to the window in l_param
    SendMessageW(reinterpret_cast<HWND>(sent->lParam), WM_COPYDATA, 0, LPARAM(&data));
  }
  return CallNextHookEx(nullptr, code, w, l);
}
#else
namespace {

constexpr wchar_t kCaption[] = L"TesquaV2.0";
int passed = 0, failed = 0, dpi = 96;
std::wstring exe, case_dir;

std::string Encode(UINT code_page, std::wstring_view text) {
  std::string bytes(text.size() * 4, '\0');
  bytes.resize(std::size_t(WideCharToMultiByte(code_page, 0, text.data(), int(text.size()),
                                               bytes.data(), int(bytes.size()), nullptr, nullptr)));
  return bytes;
}

bool Expect(bool condition, const std::string& what) {
  ++(condition ? passed : failed);
  std::printf("%s%s\n", condition ? "ok     " : "FAILED ", what.c_str());
  return condition;
}

std::wstring Self() {  // this program's path
  std::wstring path(MAX_PATH, L'\0');
  return path.substr(0, GetModuleFileNameW(nullptr, path.data(), MAX_PATH));
}

void Pump(DWORD milliseconds = 20) {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
  for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&message);
}

// Polls, running this thread's messages (the viewer windows live here), for at most the bound.
bool WaitFor(const std::function<bool()>& condition, double seconds = 20) {
  for (const ULONGLONG end = GetTickCount64() + ULONGLONG(seconds * 1000);; Pump()) {
    if (condition()) return true;
    if (GetTickCount64() > end) return false;
  }
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  return bool(std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes);
}
std::string ReadBytes(const std::wstring& path) {  // "<missing>" when it cannot be read
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  return file ? std::string(std::istreambuf_iterator<char>(file), {}) : "<missing>";
}

// Has the runner save the screen's rectangle as NAME, and waits until it has.
void Screenshot(const char* name, const RECT& r) {
  const std::wstring request = case_dir + L"\\shot";
  char line[100];
  std::snprintf(line, sizeof line, "%s %ldx%ld+%ld+%ld", name, r.right - r.left, r.bottom - r.top,
                r.left, r.top);
  Expect(WriteBytes(request + L".new", line) &&
             MoveFileExW((request + L".new").c_str(), request.c_str(), 0) &&
             WaitFor([&] { return ReadBytes(request) == "<missing>"; }, 60),
         std::string("screenshot ") + name + " taken");
}

struct Item {
  UINT format;
  std::string bytes;  // the global block's content; CF_BITMAP places a small picture instead
};
Item Unicode(std::wstring_view text) {
  return {CF_UNICODETEXT, std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2) +
                              std::string(2, '\0')};
}
Item Ansi(UINT code_page, std::wstring_view text) {
  return {CF_TEXT, Encode(code_page, text) + '\0'};
}

struct Viewer {
  HWND window = nullptr, next = nullptr;
  int notices = 0;
  bool breaks_chain = false;  // passes nothing on and ignores WM_CHANGECBCHAIN, as old tools do
};
std::map<HWND, Viewer*> viewers;
HWND owner;  // owns what we copy
FontReport font_report{};
Viewer viewer;  // joins before tesqua starts, and must keep getting every notice

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  Viewer* v = viewers[window];
  if (message == WM_COPYDATA) {  // the probe's report
    std::memcpy(&font_report, reinterpret_cast<COPYDATASTRUCT*>(l)->lpData, sizeof font_report);
    return TRUE;
  }
  if (v == nullptr || (message != WM_DRAWCLIPBOARD && message != WM_CHANGECBCHAIN))
    return DefWindowProcW(window, message, w, l);
  v->notices += message == WM_DRAWCLIPBOARD;
  if (v->breaks_chain) return 0;
  if (message == WM_CHANGECBCHAIN && HWND(w) == v->next)
    v->next = HWND(l);
  else if (v->next != nullptr)
    SendMessageW(v->next, message, w, l);
  return 0;
}

void Join(Viewer& v) {
  const WNDCLASSW window_class{.lpfnWndProc = &ViewerProc, .lpszClassName = L"TesquaE2e"};
  RegisterClassW(&window_class);  // fails harmlessly after the first time
  v.window =
      CreateWindowExW(0, L"TesquaE2e", L"", 0, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
  viewers[v.window] = &v;
  v.next = SetClipboardViewer(v.window);
}

// Another program copies: the clipboard emptied, the items placed in their order.
bool SetClipboard(const std::vector<Item>& items) {
  if (!WaitFor([] { return OpenClipboard(owner) != FALSE; }, 5)) return false;
  bool ok = EmptyClipboard();
  for (const Item& item : items) {
    HANDLE data = nullptr;
    if (item.format == CF_BITMAP) {
      data = CreateBitmap(8, 8, 1, 32, nullptr);
    } else if ((data = GlobalAlloc(GMEM_MOVEABLE, item.bytes.size())) != nullptr) {
      std::memcpy(GlobalLock(data), item.bytes.data(), item.bytes.size());
      GlobalUnlock(data);
    }
    ok = ok && data != nullptr && SetClipboardData(item.format, data) != nullptr;
  }
  return CloseClipboard() && ok;
}

// WM_GETTEXT, which reaches another process's controls where GetWindowText does not.
std::wstring Text(HWND window) {
  std::wstring text(1 << 16, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, text.size(), LPARAM(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  return text.substr(0, copied);
}

RECT Rect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

// Mouse events at a point, or keys pressed and released in reverse, in one input stream.
void Input(POINT at, std::vector<DWORD> mouse, std::vector<WORD> keys = {}) {
  std::vector<INPUT> inputs;
  for (const DWORD flag : mouse)
    inputs.push_back({INPUT_MOUSE,
                      {.mi = {MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1),
                              MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1), 0,
                              flag | MOUSEEVENTF_ABSOLUTE, 0, 0}}});
  for (const WORD key : keys) inputs.push_back({INPUT_KEYBOARD, {.ki = {key, 0, 0, 0, 0}}});
  for (auto key = keys.rbegin(); key != keys.rend(); ++key)
    inputs.push_back({INPUT_KEYBOARD, {.ki = {*key, 0, KEYEVENTF_KEYUP, 0, 0}}});
  SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Clicks once the control is under the point: a window just shown may still move.
void Click(HWND control, double x, double y) {
  const RECT r = Rect(control);
  const POINT at = {r.left + std::lround((r.right - r.left) * x),
                    r.top + std::lround((r.bottom - r.top) * y)};
  WaitFor([&] { return WindowFromPoint(at) == control; });
  Input(at, {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
}

// Starts EXE with the arguments in the folder, its output to `output` when given.
PROCESS_INFORMATION Start(const std::wstring& folder, std::wstring arguments, HANDLE output = {},
                          HANDLE errors = {}) {
  PROCESS_INFORMATION process{};
  STARTUPINFOW startup{sizeof startup};
  startup.dwFlags = output ? STARTF_USESTDHANDLES : 0;
  startup.hStdOutput = output;
  startup.hStdError = errors ? errors : output;
  arguments = L"\"" + exe + L"\"" + arguments;
  CreateProcessW(exe.c_str(), arguments.data(), nullptr, nullptr, output != nullptr, 0, nullptr,
                 folder.c_str(), &startup, &process);
  return process;
}

struct Tesqua {
  PROCESS_INFORMATION process{};
  HWND window = nullptr, Text1 = nullptr, Label1 = nullptr, Check1 = nullptr, List1 = nullptr,
       Label3 = nullptr;

  // The pointer parked first: a late notice of where it was would move a later click.
  explicit Tesqua(const std::wstring& folder) {
    Input({0, 0}, {MOUSEEVENTF_MOVE});
    process = Start(folder, L"");
    Expect(WaitFor([this] { return Find(); }, 40),
           "tesqua.exe shows its window with five controls");
  }
  ~Tesqua() {
    Close();
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }

  // The shown window with the caption, and its controls in their tab order.
  bool Find() {
    DWORD id = 0;
    HWND found = FindWindowW(nullptr, kCaption);
    GetWindowThreadProcessId(found, &id);
    HWND child = GetWindow(window = id == process.dwProcessId ? found : nullptr, GW_CHILD);
    for (HWND* control : {&Text1, &Label1, &Check1, &List1, &Label3}) {
      *control = child;
      child = GetWindow(child, GW_HWNDNEXT);
    }
    return IsWindowVisible(window) && Label3 != nullptr && child == nullptr;
  }

  bool Close() {  // as a user would; true when the program ended
    PostMessageW(window, WM_CLOSE, 0, 0);
    return WaitFor([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }) ||
           !TerminateProcess(process.hProcess, 1);
  }

  // Waits until tesqua has handled every message posted to it so far, the clipboard notices
  // among them: a mark posted to Text1 behind them shows once they are done.
  bool Settled() const {
    SendMessageW(Text1, EM_SETMODIFY, FALSE, 0);  // a new text in Text1 clears it too
    return PostMessageW(Text1, EM_SETMODIFY, TRUE, 0) &&
           WaitFor([&] { return SendMessageW(Text1, EM_GETMODIFY, 0, 0) != 0; });
  }
  // Copies and waits until tesqua has handled the notice.
  bool Copy(const std::vector<Item>& items) const { return SetClipboard(items) && Settled(); }

  bool Topmost() const { return GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST; }
  bool Checked() const { return SendMessageW(Check1, BM_GETCHECK, 0, 0) == BST_CHECKED; }
  std::wstring Shown() const {  // Text1 without the spaces that pad the instructions
    std::wstring text = Text(Text1);
    return std::erase(text, L' '), text;
  }
  bool Shows(const std::wstring& expected, const std::string& what) const {
    const bool shown = WaitFor([&] { return Shown() == expected; });
    return Expect(shown, what + (shown ? "" : ": " + Encode(CP_UTF8, Shown()).substr(0, 200)));
  }
};

// The seventeen lines of instructions, less the spaces that pad them.
const std::wstring kInstructions =
    L"\r\n\r\n\r\n\r\n1、使用方法：只要复制公式代码软\r\n\r\n件自动提示是否有未来函数！\r\n\r\n"
    L"2、可自定义未来函数特征库，请按\r\n\r\n提示编辑特征库以便更加准确识别\r\n\r\n"
    L"未来函数！\r\n\r\n更多更好的股软请访问Xuvo软件\r\n\r\n工作室网站！\r\n";

std::wstring Warnings(std::initializer_list<const wchar_t*> names) {
  std::wstring verdict;
  for (const wchar_t* name : names)
    verdict += std::wstring(L"\r\n注意：发现未来函数") + name + L"！";
  return verdict;
}
const std::wstring kNoHit = L"没有发现未来函数！";

std::wstring Folder(const std::wstring& name) {
  const std::wstring folder = case_dir + L"\\" + name;
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

// Per code.ini, copies and the verdicts they leave; each start must empty the clipboard first.
void Verdicts() {
  using Row = std::pair<std::vector<Item>, std::wstring>;  // a copy, Text1 after it
  // code.ini's name and bytes (nullptr: none, tesqua writes the default), the rows
  using Library = std::tuple<const wchar_t*, const char*, std::vector<Row> >;
  const UINT rtf = RegisterClipboardFormatW(L"Rich Text Format");
  const UINT html = RegisterClipboardFormatW(L"HTML Format");
  std::wstring long_end(40000, L'y');
  long_end.replace(long_end.size() - 4, 4, L"dvol");  // after character 32767
  const auto zig_flatzig_backset = Warnings({L"ZIG", L"FLATZIG", L"BACKSET"});
  const std::string gbk = "$ZIG\r\n" + Encode(936, L"跨周期引用\r\n龍") + "\r\nDVOL\r\n";
  const Library libraries[] = {
      {L"default",
       nullptr,
       {{{Unicode(L"A:=zig(C,5);\r\nB:=PEAK (1,2);\r\nV:=XDVOLY;")}, Warnings({L"ZIG", L"DVOL"})},
        {{Unicode(L"MA5:=MA(CLOSE,5);")}, kNoHit},
        {{Unicode(L"X:=BACKSET(C>O,2)+FLATZIG(5);")}, zig_flatzig_backset},  // ZIG( in FLATZIG(
        {{{CF_BITMAP, ""}}, zig_flatzig_backset},  // no text: the verdict stays
        {{}, zig_flatzig_backset},
        {{{rtf, "{\\rtf1 #YEAR}"}, {html, "<b>#YEAR</b>"}, Unicode(L"Y:=#YEAR+DCLOSE;")},
         Warnings({L"#YEAR", L"DCLOSE"})},
        {{Ansi(936, L"ZIG(1)"), Unicode(L"DVOL")}, Warnings({L"ZIG"})},  // the first placed
        {{Unicode(L"DVOL"), Ansi(936, L"ZIG(1)")}, Warnings({L"DVOL"})},
        {{Unicode(std::wstring(L"MA(C)\0DVOL", 10))}, kNoHit},  // the text ends at a NUL
        {{Unicode(long_end)}, Warnings({L"DVOL"})}}},
      {L"chinese",
       gbk.c_str(),  // GBK under an English layout; Big5 that names its locale
       {{{Unicode(L"A:=跨周期引用(C);")}, Warnings({L"跨周期引用"})},
        {{Ansi(936, L"x:=zig(c,5);跨周期引用"), Item{CF_LOCALE, {"\x09\x04\0\0", 4}}},
         Warnings({L"ZIG", L"跨周期引用"})},
        {{Ansi(950, L"DVOL 龍"), Item{CF_LOCALE, {"\x04\x04\0\0", 4}}},
         Warnings({L"龍", L"DVOL"})}}},
      {L"empty", "", {{{Unicode(L"A:=ZIG(C,5)+DVOL;")}, kInstructions}}},
      {L"edited", "DVOL", {{{Unicode(L"x:=DVOL;")}, Warnings({L"DVOL"})}}}};
  for (const auto& [library, bytes, rows] : libraries) {
    const std::string name = Encode(CP_UTF8, library) + ": ";
    const std::wstring folder = Folder(library), path = folder + L"\\code.ini";
    if (bytes != nullptr) WriteBytes(path, bytes);
    SetClipboard({Unicode(L"A:=ZIG(C,5); copied before the start")});
    Tesqua tesqua(folder);
    Expect(WaitFor([] { return CountClipboardFormats() == 0; }), name + "the start empties it");
    tesqua.Shows(kInstructions, name + "Text1 shows the instructions");
    for (int n = 1; const auto& [copy, text1] : rows) {
      const std::string what = name + "copy " + std::to_string(n++);
      Expect(tesqua.Copy(copy), what + " made, and tesqua handled it");
      tesqua.Shows(text1, what + "'s verdict");
      if (n == 2 && bytes == nullptr) Screenshot("verdict", Rect(tesqua.window));
    }
    Expect(tesqua.Close(), name + "closing the window ends the program");
    Expect(ReadBytes(path) == (bytes ? bytes : ReadBytes(case_dir + L"\\..\\default.ini")),
           name + "code.ini left, or default");
  }
}

// The colours as the screen shows them, read back until the window has finished painting.
void CheckColours(const Tesqua& t, int at) {
  const RECT area = Rect(t.window), label1 = Rect(t.Label1), label3 = Rect(t.Label3);
  const long width = area.right - area.left, height = area.bottom - area.top;
  RECT text1 = Rect(t.Text1), check1 = Rect(t.Check1);
  InflateRect(&text1, -1, -1);
  const RECT between = {label1.right + 2, label1.top + 2, check1.left - 2, label1.bottom - 2};
  check1.left += MulDiv(18, at, 96);  // right of the box, which is drawn in white too
  std::vector<DWORD> bits(std::size_t(width * height));  // 0xRRGGBB, where COLORREF is 0xBBGGRR
  const auto count = [&](RECT r, COLORREF color, int tolerance) {
    long n = 0;
    IntersectRect(&r, &r, &area);
    for (long y = r.top; y < r.bottom; ++y) {
      for (long x = r.left; x < r.right; ++x) {
        const DWORD pixel = bits[std::size_t((y - area.top) * width + x - area.left)];
        bool alike = true;
        for (const int shift : {0, 8, 16})
          alike = alike && std::abs(int(pixel >> (16 - shift) & 255) - int(color >> shift & 255)) <=
                               tolerance;
        n += alike;
      }
    }
    return n;
  };
  const auto area_of = [](const RECT& r) { return (r.right - r.left) * (r.bottom - r.top); };
  constexpr COLORREF kDarkRed = RGB(128, 0, 0), kWhite = RGB(255, 255, 255);
  // Where, which colour, its tolerance (text is drawn smoothed), how many pixels at least.
  const std::tuple<RECT, COLORREF, int, long, const char*> paints[] = {
      {between, kDarkRed, 0, area_of(between), "the window's background is dark red"},
      {text1, RGB(255, 255, 192), 0, area_of(text1) / 2, "Text1's background is light yellow"},
      {text1, RGB(255, 0, 0), 40, 300, "Text1's text is red"},
      {label1, kDarkRed, 0, area_of(label1) / 2, "Label1's background is dark red"},
      {label1, kWhite, 40, 20, "Label1's text is white"},
      {check1, kDarkRed, 0, area_of(check1) / 3, "Check1's background is dark red"},
      {check1, kWhite, 40, 20, "Check1's caption is white"},
      {label3, kDarkRed, 0, area_of(label3) / 2, "Label3's background is dark red"},
      {label3, RGB(255, 255, 0), 40, 20, "Label3's text is yellow"}};
  WaitFor([&] {
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB}};
    GetDIBits(memory, bitmap, 0, UINT(height), bits.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap), DeleteDC(memory), ReleaseDC(nullptr, screen);
    return std::all_of(std::begin(paints), std::end(paints), [&](const auto& p) {
      return count(std::get<0>(p), std::get<1>(p), std::get<2>(p)) >= std::get<3>(p);
    });
  });
  for (const auto& [rect, color, tolerance, at_least, what] : paints) {
    const long n = count(rect, color, tolerance);
    Expect(n >= at_least, what + (" (" + std::to_string(n) + " pixels)"));
  }
}

// Sends tesqua's window the message, which the probe, hooked into tesqua, acts on there.
void SendToProbe(const Tesqua& t, const wchar_t* message, WPARAM w, LPARAM l) {
  HMODULE probe = LoadLibraryW(Self().replace(Self().size() - 4, 4, L"-probe.dll").c_str());
  HHOOK hook = SetWindowsHookExW(
      WH_CALLWNDPROC,
      reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(probe, "ProbeHook"))),
      probe, t.process.dwThreadId);
  DWORD_PTR result = 0;
  if (hook != nullptr)
    SendMessageTimeoutW(t.window, RegisterWindowMessageW(message), w, l, SMTO_NORMAL, 5000,
                        &result);
  UnhookWindowsHookEx(hook);
  FreeLibrary(probe);
}

// A control's font, sent back by the probe to our viewer window while we wait.
FontReport ReadFont(const Tesqua& t, HWND control) {
  font_report = {};
  SendToProbe(t, kReadFont, WPARAM(control), LPARAM(viewer.window));
  return font_report;
}

// A first start's window at the system's DPI: its controls, their places and styles, its
// colours, the fonts; then told that its DPI changed, as on a move to a monitor of another
// scale, and laid out again at the new one.
void Window() {
  Tesqua t(Folder(L"window"));  // its instructions are checked at each start in Verdicts
  Expect(t.Checked() && t.Topmost(), "Check1 is checked and the window topmost");
  Expect(SendMessageW(t.List1, LB_GETCOUNT, 0, 0) == 27, "List1 holds the library's 27 entries");
  struct Control {
    HWND window;
    const wchar_t *name, *text;
    LONG mask, style;
    long left, top, width, height;  // at 96 DPI
    const char* what;
  };
  const Control controls[] = {
      // in tab order
      {t.Text1, L"Edit", nullptr,
       ES_MULTILINE | WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL | ES_READONLY | ES_CENTER | ES_RIGHT,
       ES_MULTILINE, 0, 24, 241, 345, "Text1: multi-line, wraps, no scroll bars, editable, left"},
      {t.Label1, L"Static", L"点此编辑未来函数特征库", SS_NOTIFY, SS_NOTIFY, 0, 8, 145, 17,
       "Label1: raises clicks"},
      {t.Check1, L"Button", L"窗口置顶", BS_TYPEMASK, BS_AUTOCHECKBOX, 168, 8, 73, 17,
       "Check1: a check box"},
      {t.List1, L"ListBox", nullptr, LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL | WS_VISIBLE, 0,
       8, 480, 57, 40, "List1: unsorted, single selection, never shown"},
      {t.Label3, L"Static", L"访问Xuvo软件工作室网站", SS_TYPEMASK | SS_NOTIFY,
       SS_CENTER | SS_NOTIFY, 0, 376, 241, 17, "Label3: centred, raises clicks"}};
  const auto placed = [](const Control& c, int at) {  // in the parent's client area, at a DPI
    RECT r = Rect(c.window);
    MapWindowPoints(HWND_DESKTOP, GetParent(c.window), reinterpret_cast<POINT*>(&r), 2);
    return r.left == MulDiv(c.left, at, 96) && r.top == MulDiv(c.top, at, 96) &&
           r.right - r.left == MulDiv(c.width, at, 96) &&
           r.bottom - r.top == MulDiv(c.height, at, 96);
  };
  const auto all_placed = [&](int at) {
    return std::all_of(controls, std::end(controls), [&](auto& c) { return placed(c, at); });
  };
  for (const Control& c : controls) {
    wchar_t name[32] = {};
    GetClassNameW(c.window, name, 32);
    Expect(c.name == std::wstring(name) && (!c.text || Text(c.window) == c.text) &&
               (GetWindowLongW(c.window, GWL_STYLE) & c.mask) == c.style && placed(c, dpi),
           c.what + (" at " + std::to_string(dpi) + " DPI"));
  }
  const LONG style = GetWindowLongW(t.window, GWL_STYLE);
  RECT outer = Rect(t.window), client{};
  GetClientRect(t.window, &client);
  const long top = std::lround((GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2.0);
  Expect((style & WS_THICKFRAME) && (style & WS_CAPTION) && client.right == MulDiv(242, dpi, 96) &&
             client.bottom == MulDiv(393, dpi, 96) &&
             outer.right == GetSystemMetrics(SM_CXSCREEN) && outer.top == top,
         "sizable, titled, client area 242 x 393 at 96 DPI, flush right, centred vertically");
  CheckColours(t, dpi);
  const FontReport font = ReadFont(t, t.Text1);
  Expect(std::wstring(font.asked.lfFaceName) == L"宋体" &&
             font.asked.lfHeight == -std::lround(10.5 * dpi / 72) && font.asked.lfWeight == 700 &&
             font.asked.lfCharSet == GB2312_CHARSET && font.file_weight >= 700,
         "Text1's font: 宋体, 10.5 pt, weight 700, GB2312, drawn from a bold file");
  const std::string at = std::to_string(dpi);
  Screenshot(dpi == 96 ? "instructions" : ("instructions-" + at + "dpi").c_str(), outer);

  // Both ways; the rectangle suggested is the new client area, framed, somewhere else.
  const int to = dpi == 96 ? 144 : dpi == 120 ? 96 : 120;
  const LONG ui_font = ReadFont(t, t.Label1).asked.lfHeight;
  RECT suggested{0, 0, MulDiv(242, to, 96), MulDiv(393, to, 96)};
  AdjustWindowRectEx(&suggested, DWORD(style), FALSE, DWORD(GetWindowLongW(t.window, GWL_EXSTYLE)));
  OffsetRect(&suggested, 200 - suggested.left, 100 - suggested.top);
  SendToProbe(t, kChangeDpi, WPARAM(to),
              suggested.left | suggested.top << 16 | LPARAM(suggested.right) << 32 |
                  LPARAM(suggested.bottom) << 48);
  const LOGFONTW text1 = ReadFont(t, t.Text1).asked, label1 = ReadFont(t, t.Label1).asked;
  const std::string now = "at " + std::to_string(to) + " DPI: ";
  outer = Rect(t.window);
  Expect(EqualRect(&outer, &suggested) && all_placed(to),
         now + "the suggested rectangle, every control placed");
  Expect(text1.lfHeight == -std::lround(10.5 * to / 72) && text1.lfWeight == 700 &&
             label1.lfHeight == MulDiv(ui_font, to, dpi),
         now + "Text1's 10.5 pt bold and the user-interface font scaled");
  CheckColours(t, to);
  Screenshot(("dpi-" + at + "-to-" + std::to_string(to)).c_str(), outer);

  // Controls never move with the window.
  SetWindowPos(t.window, nullptr, 0, 0, outer.right - outer.left + 300,
               outer.bottom - outer.top + 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  WaitFor([&] { return Rect(t.window).bottom > outer.bottom; });
  Expect(Rect(t.window).bottom > outer.bottom && all_placed(to),
         "the controls keep their places in a larger window");
}

HWND FindEditor() {  // a shown notepad on code.ini
  HWND editor = FindWindowW(L"Notepad", nullptr);
  return IsWindowVisible(editor) && Text(editor).find(L"code.ini") != std::wstring::npos ? editor
                                                                                         : nullptr;
}

// tesqua's message box with the text, titled with the caption, OK only; null when none is shown.
HWND MessageBoxShown(const std::wstring& text) {
  HWND box = FindWindowW(L"#32770", kCaption);
  return GetDlgItem(box, IDOK) && !GetDlgItem(box, IDCANCEL) &&
                 Text(GetDlgItem(box, 0xFFFF)) == text
             ? box
             : nullptr;
}

bool NotepadRuns() {  // in the Wine session
  const HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W process{sizeof process};
  bool found = false;
  for (BOOL more = Process32FirstW(all, &process); more; more = Process32NextW(all, &process))
    found = found || _wcsicmp(process.szExeFile, L"notepad.exe") == 0;
  return CloseHandle(all), found;
}

// Clicks and keys on a first start's window, each waited for until its effect shows; first,
// Label1 where code.ini cannot be written.
void Clicks() {
  {  // The kernel's sysfs takes no new file, not even from root, who may write anywhere else.
    Tesqua t(L"Z:\\sys");
    Click(t.Label1, 0.9, 0.5);
    HWND box = nullptr;
    Expect(SendMessageW(t.List1, LB_GETCOUNT, 0, 0) == 27 && WaitFor([&] {
             return (box = MessageBoxShown(
                         L"无法在当前文件夹中写入特征库文件 code.ini，现在使用的是内置的特征库。"
                         L"\r\n要编辑特征库，请在您可以写入的文件夹（例如“文档”，而不是 "
                         L"Program Files）中运行本程序，然后再点此编辑。")) != nullptr;
           }),
           "code.ini cannot be written: the window works from the 27 defaults, and a click on "
           "Label1 says so and where to run the program");
    Screenshot("library-in-memory", Rect(box));
    PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
    Expect(t.Settled() && !IsWindow(box) && !NotepadRuns(), "closing it starts no editor");
  }
  const std::wstring folder = Folder(L"tesqua");
  // planted where tesqua runs, never to be started
  CopyFileW(Self().c_str(), (folder + L"\\notepad.exe").c_str(), FALSE);
  Tesqua t(folder);
  std::wstring before;
  HWND box = nullptr, editor = nullptr;
  const auto focus = [&t](HWND w) {
    return [&t, w] {
      GUITHREADINFO info{sizeof info};
      return GetGUIThreadInfo(t.process.dwThreadId, &info) && info.hwndFocus == w;
    };
  };
  const auto keys = [](std::vector<WORD> keys) { return [keys] { Input({}, {}, keys); }; };
  const std::tuple<const char*, std::function<void()>, std::function<bool()> > steps[] = {
      {"a click in Text1 focuses it", [&] { Click(t.Text1, 0.5, 0.5); }, focus(t.Text1)},
      {"Enter at the end of Text1 makes a new line",
       [&] {
         before = Text(t.Text1), Input({}, {}, {VK_CONTROL, VK_END}), Input({}, {}, {VK_RETURN});
       },
       [&] { return Text(t.Text1) == before + L"\r\n"; }},
      {"Tab moves from Text1 to Check1", keys({VK_TAB}), focus(t.Check1)},
      {"Tab moves back to Text1", keys({VK_TAB}), focus(t.Text1)},
      {"Shift+Tab moves from Text1 to Check1", keys({VK_SHIFT, VK_TAB}), focus(t.Check1)},
      {"Shift+Tab moves back to Text1; the keys typed nothing and toggled nothing",
       keys({VK_SHIFT, VK_TAB}),
       [&] { return focus(t.Text1)() && Text(t.Text1) == before + L"\r\n" && t.Checked(); }},
      {"a click unchecks Check1 and the window leaves the topmost band",
       [&] { Click(t.Check1, 0.5, 0.5); }, [&] { return !t.Checked() && !t.Topmost(); }},
      {"a second click checks it, and the window is topmost again",
       [&] { Click(t.Check1, 0.5, 0.5); }, [&] { return t.Checked() && t.Topmost(); }},
      {"a click on Label3 has the shell open the maker's web page",
       [&] { Click(t.Label3, 0.05, 0.5); },
       [&] { return ReadBytes(case_dir + L"\\opened-address") == "http://www.xuvo.example/"; }},
      {"a click on Label1 shows the two-line message box titled with the caption, OK only",
       [&] { Click(t.Label1, 0.9, 0.5); },
       [&] {
         box = MessageBoxShown(
             L"带参数的函数，请在前面加$,否则容易识别错误!\r\n编辑完成保存后重新打开程序即可!");
         return box != nullptr && !FindEditor();
       }},
      {"closing it starts the system's notepad on code.ini (not the one planted)",
       [&] { PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); },
       [&] { return (editor = FindEditor()) != nullptr; }}};
  for (const auto& [what, act, done] : steps) {
    act();
    Expect(WaitFor(done), what);
  }
  PostMessageW(editor, WM_CLOSE, 0, 0);
  WaitFor([] { return FindEditor() == nullptr; });
  Expect(ReadBytes(folder + L"\\planted-notepad-ran") == "<missing>" && IsWindowVisible(t.window),
         "the planted notepad.exe never ran, and the window stays open");
}

// Whether the window answers within the 100 ms it may take at most.
bool Answers(HWND window) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 100, &result) != 0;
}

// Other viewers in the chain, and ones that break it; a clipboard held right after a copy;
// bursts of copies.
void Clipboard() {
  Viewer middle;  // middle -> viewer; tesqua is no viewer and may take no notice from them
  Join(middle);
  Tesqua t(Folder(L"tesqua"));
  int notices = viewer.notices, middle_notices = middle.notices;
  Expect(t.Copy({Unicode(L"ZIG(1)")}) &&
             WaitFor([&] { return viewer.notices > notices && middle.notices > middle_notices; }),
         "a notice reaches both viewers while tesqua runs");
  ChangeClipboardChain(middle.window, middle.next);
  notices = viewer.notices, middle_notices = middle.notices;
  Expect(t.Copy({Unicode(L"DVOL")}) && WaitFor([&] { return viewer.notices > notices; }) &&
             middle.notices == middle_notices,
         "once the middle viewer left, the one after it still gets notices");

  // Copies and holds the clipboard while tesqua's thread is stopped, so that its read finds it
  // held; stopped inside a read of its own, it goes on and the copy is tried again.
  const auto copy_and_hold = [&](const wchar_t* text) {
    for (int attempt = 0; attempt < 50; ++attempt, Pump()) {
      SuspendThread(t.process.hThread);
      const bool held = OpenClipboard(owner) && CloseClipboard() && SetClipboard({Unicode(text)}) &&
                        OpenClipboard(owner);
      ResumeThread(t.process.hThread);
      if (held) return true;
    }
    return false;
  };
  const std::tuple<DWORD, const wchar_t*, const wchar_t*> holds[] = {{300, L"A:=ZIG(C,5);", L"ZIG"},
                                                                     {5000, L"B:=DVOL;", L"DVOL"}};
  for (const auto& [milliseconds, text, hit] : holds) {
    const std::string held = "held " + std::to_string(milliseconds) + " ms: ";
    const std::wstring before = Text(t.Text1);
    int pings = 0, late = 0;
    const bool copied = copy_and_hold(text);
    for (const ULONGLONG end = GetTickCount64() + milliseconds; GetTickCount64() < end; ++pings)
      late += !Answers(t.window), Pump();
    const bool handled = t.Settled(), kept = Text(t.Text1) == before;
    CloseClipboard();
    Expect(copied && handled && kept && late == 0,
           held + "tesqua handled the notice, kept its verdict and answered within 100 ms (" +
               std::to_string(late) + " of " + std::to_string(pings) + " late)");
    t.Shows(Warnings({hit}), held + "the copy's verdict once the clipboard is released");
  }

  // Bursts of copies alternating two texts: the last text's verdict, memory as it was.
  const std::wstring texts[] = {L"A:=ZIG(C,5);", L"B:=DVOL;"};
  const std::wstring verdicts[] = {Warnings({L"ZIG"}), Warnings({L"DVOL"})};
  const auto memory_use = [&t] {  // private bytes (Wine gives the resident part)
    PROCESS_MEMORY_COUNTERS counters{sizeof counters};
    GetProcessMemoryInfo(t.process.hProcess, &counters, sizeof counters);
    return (long long)(counters.PagefileUsage);
  };
  const long long memory = memory_use();
  for (int round = 0; round < 3; ++round) {
    const std::string burst = "burst " + std::to_string(round + 1) + " of 2,000 copies: ";
    bool copied = true;
    for (int copy = 0; copy < 2000; ++copy, Pump(0))
      copied = SetClipboard({Unicode(texts[(round + copy + 1) % 2])}) && copied;
    t.Shows(verdicts[round % 2], burst + "the last text's verdict");
    // Notices still queued come before the mark: the verdict must outlast them.
    const long long growth = memory_use() - memory;
    Expect(copied && t.Settled() && Answers(t.window) && Text(t.Text1) == verdicts[round % 2] &&
               memory > 0 && growth < 1 << 20,
           burst + "the verdict stays, memory grew by " + std::to_string(growth) + " < 1 MB");
  }
  notices = viewer.notices;
  Expect(t.Close() && SetClipboard({Unicode(L"after tesqua")}) &&
             WaitFor([&] { return viewer.notices > notices; }),
         "the viewers still get notices once tesqua has closed");

  // Viewers that pass nothing on, one joined before tesqua starts and one after it (which alone
  // stops every notice down the chain), and then gone without leaving it: every copy still
  // gets its verdict.
  Viewer before{.breaks_chain = true}, after{.breaks_chain = true};
  Join(before);
  Tesqua breakers(Folder(L"breakers"));
  Join(after);
  const std::tuple<const wchar_t*, const wchar_t*, bool> copies[] = {
      {L"A:=ZIG(C,5);", L"ZIG", false},
      {L"B:=DVOL;", L"DVOL", false},
      {L"C:=PEAK(1);", L"PEAK", true}};
  for (const auto& [text, hit, gone] : copies) {
    if (gone) DestroyWindow(before.window), DestroyWindow(after.window);
    const std::string when = gone ? " once they have gone" : " with chain-breaking viewers";
    Expect(breakers.Copy({Unicode(text)}), "a copy" + when);
    breakers.Shows(Warnings({hit}), "its verdict" + when);
  }
}

// tesqua-scan.exe's lines as shown in a console with code page 936, and in a file.
void Console() {
  WriteBytes(case_dir + L"\\lib.ini", "$ZIG\r\n");
  WriteBytes(case_dir + L"\\未来.txt", "ZIG(1)");
  WriteBytes(case_dir + L"\\b.txt", "MA(C,5)");
  const std::wstring lines[] = {
      L"未来.txt: ZIG", L"b.txt: 没有发现未来函数！",
      L"2 files scanned, 1 with hits, 0 could not be read, 0 could not be checked (binary or "
      L"encrypted)"};
  FreeConsole();  // this program's output goes to the runner's log file, not to a console
  Expect(AllocConsole() && SetConsoleOutputCP(936), "a console of its own, code page 936");
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE console =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherited, OPEN_EXISTING, 0, nullptr);
  const PROCESS_INFORMATION scan = Start(case_dir, L" --library lib.ini 未来.txt b.txt", console);
  DWORD status = 0;
  Expect(WaitForSingleObject(scan.hProcess, 60000) == WAIT_OBJECT_0 &&
             GetExitCodeProcess(scan.hProcess, &status) && status == 1,
         "exit status 1");
  for (const std::wstring& line : lines) {
    std::wstring row(line.size() + 1, L'\0');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(console, row.data(), DWORD(row.size()), {0, SHORT(&line - lines)},
                                &read);
    Expect(row == line + L' ', "the console shows \"" + Encode(CP_UTF8, row) + "\"");
  }
  HWND window = GetConsoleWindow();
  Expect(WaitFor([&] { return IsWindowVisible(window) != FALSE; }), "the console has a window");
  Screenshot("console", Rect(window));

  // Runs with standard output on the handle given: the exit status and standard error.
  const auto scan_to = [&inherited](const wchar_t* arguments, HANDLE output) {
    const std::wstring errors = case_dir + L"\\errors.txt";
    HANDLE error_file = CreateFileW(errors.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                    CREATE_ALWAYS, 0, nullptr);
    const PROCESS_INFORMATION run = Start(case_dir, arguments, output, error_file);
    DWORD status = 99;
    WaitForSingleObject(run.hProcess, 60000);
    GetExitCodeProcess(run.hProcess, &status);
    CloseHandle(run.hProcess), CloseHandle(run.hThread), CloseHandle(error_file);
    return std::pair(status, ReadBytes(errors));
  };
  // The runner made tree/sub/up, a link to its parent folder (a loop), and tree/junction, one
  // to a folder elsewhere: Wine shows both as reparse-point folders, which -r does not walk.
  // --include matches names with letter case ignored, as the system does.
  WriteBytes(case_dir + L"\\tree\\a.txt", "ZIG(1)");
  WriteBytes(case_dir + L"\\tree\\sub\\b.txt", "MA(C,5)");
  WriteBytes(case_dir + L"\\elsewhere\\c.txt", "ZIG(2)");
  // Runs with standard output to a file: the exit status, the file and standard error.
  const auto scan_to_file = [&](const wchar_t* arguments) {
    const std::wstring listed = case_dir + L"\\listed.txt";
    HANDLE file = CreateFileW(listed.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                              CREATE_ALWAYS, 0, nullptr);
    const auto [status, errors] = scan_to(arguments, file);
    CloseHandle(file);
    return std::tuple(status, ReadBytes(listed), errors);
  };
  const auto [tree_status, tree, tree_errors] =
      scan_to_file(L" --library lib.ini -r --include=*.TXT tree");
  // In a file, lines end with CR LF.
  Expect(tree_status == 1 &&
             tree ==
                 "tree\\a.txt: ZIG\r\ntree\\sub\\b.txt: 没有发现未来函数！\r\n2 files scanned, "
                 "1 with hits, 0 could not be read, 0 could not be checked (binary or "
                 "encrypted)\r\n",
         "-r walks no folder link or junction: " + tree.substr(0, 300) + tree_errors);
  // Wildcards in the last part of a path are the program's to expand, as the system matches
  // them (letter case ignored); one that matches nothing is named.
  const auto [wild_status, wild, wild_errors] =
      scan_to_file(L" --library lib.ini TREE\\*.T?T ?.txt nothing*");
  Expect(wild_status == 2 &&
             wild ==
                 "TREE\\a.txt: ZIG\r\nb.txt: 没有发现未来函数！\r\n2 files scanned, 1 with hits, "
                 "1 could not be read, 0 could not be checked (binary or encrypted)\r\n" &&
             wild_errors == "tesqua-scan: nothing*: no file matches\r\n",
         "wildcards: " + wild.substr(0, 300) + wild_errors);
  // A refused write ends the run with the system's reason (standard error is in text mode).
  HANDLE full = CreateFileW(L"Z:\\dev\\full", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherited, OPEN_EXISTING, 0, nullptr);
  const auto [full_status, full_errors] = scan_to(L" --library lib.ini 未来.txt b.txt", full);
  CloseHandle(full);
  Expect(full_status == 2 && full_errors == "tesqua-scan: write error: No space left on device\r\n",
         "a full disk: status " + std::to_string(full_status) + ", " + full_errors);
  HANDLE reader = nullptr, writer = nullptr;
  CreatePipe(&reader, &writer, &inherited, 0);
  CloseHandle(reader);
  const auto [pipe_status, pipe_errors] = scan_to(L" --library lib.ini 未来.txt", writer);
  CloseHandle(writer);
  Expect(pipe_status == 2 && pipe_errors == "tesqua-scan: write error: Broken pipe\r\n",
         "a closed pipe: status " + std::to_string(pipe_status) + ", " + pipe_errors);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (Self().ends_with(L"\\notepad.exe")) return WriteBytes(L"planted-notepad-ran", ""), 3;
  const std::map<std::wstring, void (*)()> cases = {{L"window", &Window},
                                                    {L"verdicts", &Verdicts},
                                                    {L"clicks", &Clicks},
                                                    {L"clipboard", &Clipboard},
                                                    {L"console", &Console}};
  if (argc != 4 || !cases.count(argv[1])) return 2;
  exe = argv[2], case_dir = argv[3];
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  dpi = GetDeviceCaps(GetDC(nullptr), LOGPIXELSY);
  owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 9, 9, nullptr, nullptr, nullptr, nullptr);
  Join(viewer);
  cases.at(argv[1])();
  ChangeClipboardChain(viewer.window, viewer.next);
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 && passed > 0 ? 0 : 1;
}
#endif
