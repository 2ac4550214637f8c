// Drives tesqua.exe end to end in the same Wine session: starts it in a fresh folder, puts
// content on the clipboard, reads the window back, clicks and types like a user.
//
//   tesqua-e2e.exe CASE EXE CASE_DIR     (EXE: tesqua-scan.exe for the console case)
//
// One line per check, then "N passed, N failed"; exit status 1 when a check failed. Built a
// second time as tesqua-e2e-probe.dll (TESQUA_E2E_PROBE), which a window hook loads into
// tesqua to read Text1's font where its handle means something.
#include <windows.h>
// After <windows.h>, which it needs.
#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace {
constexpr wchar_t kReadFont[] = L"TesquaE2eReadFont";  // w_param: Text1
constexpr wchar_t kFontMapping[] = L"TesquaE2eFont";
struct FontReport {
  LOGFONTW asked;   // as tesqua made it
  int file_weight;  // the weight class of the font file the system draws it with
};
}  // namespace

#ifdef TESQUA_E2E_PROBE
extern "C" __declspec(dllexport) LRESULT CALLBACK ReadFontHook(int code, WPARAM w, LPARAM l) {
  const auto* sent = reinterpret_cast<const CWPSTRUCT*>(l);
  HANDLE mapping = nullptr;
  if (code == HC_ACTION && sent->message == RegisterWindowMessageW(kReadFont) &&
      (mapping = OpenFileMappingW(FILE_MAP_WRITE, FALSE, kFontMapping)) != nullptr) {
    auto* report = static_cast<FontReport*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
    const auto text1 = reinterpret_cast<HWND>(sent->wParam);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(text1, WM_GETFONT, 0, 0));
    HDC dc = GetDC(text1);
    const HGDIOBJ old = SelectObject(dc, font);
    // The OS/2 table holds the weight class at offset 4, big-endian: a regular file that the
    // system draws thicker keeps its 400.
    BYTE weight[2] = {};
    if (report != nullptr) {
      GetObjectW(font, sizeof report->asked, &report->asked);
      GetFontData(dc, 0x322F534F /* "OS/2" */, 4, weight, sizeof weight);
      report->file_weight = weight[0] << 8 | weight[1];
      UnmapViewOfFile(report);
    }
    SelectObject(dc, old);
    ReleaseDC(text1, dc);
    CloseHandle(mapping);
  }
  return CallNextHookEx(nullptr, code, w, l);
}
#else
namespace {

constexpr wchar_t kCaption[] = L"TesquaV2.0";
int passed = 0, failed = 0;
std::wstring exe, case_dir;

std::string Utf8(std::wstring_view text) {
  std::string bytes(text.size() * 3, '\0');
  bytes.resize(std::size_t(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()),
                                               bytes.data(), int(bytes.size()), nullptr, nullptr)));
  return bytes;
}

std::string Encode(UINT code_page, std::wstring_view text) {
  std::string bytes(text.size() * 4, '\0');
  bytes.resize(std::size_t(WideCharToMultiByte(code_page, 0, text.data(), int(text.size()),
                                               bytes.data(), int(bytes.size()), nullptr, nullptr)));
  return bytes;
}

void Print(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

bool Expect(bool condition, const std::string& what) {
  ++(condition ? passed : failed);
  Print((condition ? "ok     " : "FAILED ") + what);
  return condition;
}

bool ExpectText(const std::wstring& actual, const std::wstring& expected, const std::string& what) {
  if (actual == expected) return Expect(true, what);
  std::string shown = Utf8(actual).substr(0, 300);
  for (std::size_t at = 0; (at = shown.find_first_of("\r\n", at)) != std::string::npos;)
    shown.replace(at, 1, shown[at] == '\r' ? "\\r" : "\\n");
  return Expect(false, what + "\n       shown: " + shown);
}

void Pump(DWORD milliseconds = 20) {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, milliseconds, QS_ALLINPUT);
  for (MSG message; PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&message);
}

// Polls, running this thread's messages (the viewer windows live here), for at most the bound:
// everything under Wine changes asynchronously, and the machine may be loaded.
bool WaitFor(const std::function<bool()>& condition, double seconds = 20) {
  for (const ULONGLONG end = GetTickCount64() + ULONGLONG(seconds * 1000);; Pump()) {
    if (condition()) return true;
    if (GetTickCount64() > end) return false;
  }
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  const bool ok = file != INVALID_HANDLE_VALUE &&
                  WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok && written == bytes.size();
}

std::string ReadBytes(const std::wstring& path) {  // "<missing>" when it cannot be read
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  std::string bytes;
  char buffer[4096];
  for (DWORD read = 0; ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0;)
    bytes.append(buffer, read);
  CloseHandle(file);
  return bytes;
}

// Asks the runner for a screenshot of the rectangle, saved as NAME, and waits until it is done.
void Screenshot(const char* name, const RECT& r) {
  const std::wstring request = case_dir + L"\\shot", draft = request + L".new";
  const std::string line = std::string(name) + ' ' + std::to_string(r.right - r.left) + 'x' +
                           std::to_string(r.bottom - r.top) + '+' + std::to_string(r.left) + '+' +
                           std::to_string(r.top) + '\n';
  Expect(WriteBytes(draft, line) && MoveFileExW(draft.c_str(), request.c_str(), 0) &&
             WaitFor([&] { return GetFileAttributesW(request.c_str()) == INVALID_FILE_ATTRIBUTES; },
                     60),
         std::string("screenshot ") + name + " taken");
}

// --- The clipboard, and viewers of our own in its chain ---------------------------------

struct Item {
  UINT format;
  std::string bytes;  // the global block's content; CF_BITMAP makes a small picture instead
};
Item Unicode(std::wstring_view text) {
  return {CF_UNICODETEXT, std::string(reinterpret_cast<const char*>(text.data()), text.size() * 2) +
                              std::string(2, '\0')};
}
Item Ansi(UINT code_page, std::wstring_view text) {
  return {CF_TEXT, Encode(code_page, text) + '\0'};
}
Item Locale(LCID locale) {
  return {CF_LOCALE, std::string(reinterpret_cast<char*>(&locale), 4)};
}

struct Viewer {
  HWND window = nullptr, next = nullptr;
  int notices = 0;
};
std::map<HWND, Viewer*> viewers;
HWND owner;     // owns what we copy
Viewer viewer;  // joins before tesqua starts: tesqua passes each notice on to it after its scan

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM w, LPARAM l) {
  Viewer* v = viewers.count(window) ? viewers[window] : nullptr;
  if (v != nullptr && message == WM_DRAWCLIPBOARD) ++v->notices;
  if (v != nullptr && message == WM_CHANGECBCHAIN && HWND(w) == v->next) {
    v->next = HWND(l);
  } else if (v != nullptr && (message == WM_DRAWCLIPBOARD || message == WM_CHANGECBCHAIN)) {
    if (v->next != nullptr) SendMessageW(v->next, message, w, l);
  } else {
    return DefWindowProcW(window, message, w, l);
  }
  return 0;
}

HWND NewWindow() {
  WNDCLASSW window_class{};
  window_class.lpfnWndProc = &ViewerProc;
  window_class.lpszClassName = L"TesquaE2e";
  RegisterClassW(&window_class);  // fails harmlessly after the first time
  return CreateWindowExW(0, L"TesquaE2e", L"", WS_OVERLAPPED, 0, 0, 9, 9, nullptr, nullptr, nullptr,
                         nullptr);
}

void Join(Viewer& v) {
  v.window = NewWindow();
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
      HDC screen = GetDC(nullptr);
      data = CreateCompatibleBitmap(screen, 8, 8);
      ReleaseDC(nullptr, screen);
    } else if ((data = GlobalAlloc(GMEM_MOVEABLE, item.bytes.size())) != nullptr) {
      std::memcpy(GlobalLock(data), item.bytes.data(), item.bytes.size());
      GlobalUnlock(data);
    }
    ok = ok && data != nullptr && SetClipboardData(item.format, data) != nullptr;
  }
  return CloseClipboard() && ok;
}

// Copies and waits until tesqua has handled the notice.
bool Copy(const std::vector<Item>& items) {
  const int before = viewer.notices;
  return SetClipboard(items) && WaitFor([&] { return viewer.notices > before; });
}

// --- The program under test ---------------------------------------------------------------

// WM_GETTEXT, which reaches another process's controls where GetWindowText does not.
std::wstring Text(HWND window) {
  DWORD_PTR length = 0, copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length))
    return L"<no answer>";
  std::wstring text(length + 1, L'\0');
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, LPARAM(text.data()), SMTO_ABORTIFHUNG, 5000,
                      &copied);
  return text.substr(0, copied);
}

RECT Rect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

int Dpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}
long Scaled(long pixels_at_96) {
  return MulDiv(int(pixels_at_96), Dpi(), 96);
}

bool Topmost(HWND window) {
  return GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST;
}
bool Checked(HWND box) {
  return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SendMouse(POINT at, std::initializer_list<DWORD> flags) {
  std::vector<INPUT> inputs;
  for (const DWORD flag : flags) {
    INPUT input{INPUT_MOUSE};
    input.mi = {MulDiv(at.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1),
                MulDiv(at.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1), 0,
                flag | MOUSEEVENTF_ABSOLUTE};
    inputs.push_back(input);
  }
  SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

// Clicks once the system finds the control under the point (a window just shown may still be
// moving or covered); the move and the button travel in one input stream.
void Click(HWND control, double x, double y) {
  const RECT r = Rect(control);
  const POINT at = {r.left + std::lround((r.right - r.left) * x),
                    r.top + std::lround((r.bottom - r.top) * y)};
  WaitFor([&] { return WindowFromPoint(at) == control; });
  SendMouse(at, {MOUSEEVENTF_MOVE, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP});
}

// Presses the keys in order and releases them in reverse, as a user types a combination.
void Keys(const std::vector<WORD>& keys) {
  std::vector<INPUT> inputs;
  for (const WORD key : keys) inputs.push_back({INPUT_KEYBOARD, {.ki = {key, 0, 0, 0, 0}}});
  for (auto key = std::rbegin(keys); key != std::rend(keys); ++key)
    inputs.push_back({INPUT_KEYBOARD, {.ki = {*key, 0, KEYEVENTF_KEYUP, 0, 0}}});
  SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

struct Tesqua {
  PROCESS_INFORMATION process{};
  HWND window = nullptr, Text1 = nullptr, Label1 = nullptr, Check1 = nullptr, List1 = nullptr,
       Label3 = nullptr;

  // Starts tesqua in the folder. The pointer goes to the screen's corner first: a window that
  // appears under it is told where it was, news that a loaded machine may handle so late that
  // it moves the pointer between the move and the press of a later click.
  explicit Tesqua(const std::wstring& folder) {
    SendMouse({0, 0}, {MOUSEEVENTF_MOVE});
    STARTUPINFOW startup{sizeof startup};
    std::wstring command = L"\"" + exe + L"\"";
    if (CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                       folder.c_str(), &startup, &process))
      WaitFor([this] { return Find(); }, 40);
    Expect(window != nullptr, "tesqua.exe shows its window with five controls");
  }
  ~Tesqua() {
    Close();
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }

  // The window's controls, in their tab order.
  bool Find() {
    EnumWindows(
        [](HWND candidate, LPARAM self) -> BOOL {
          DWORD id = 0;
          GetWindowThreadProcessId(candidate, &id);
          wchar_t name[16] = {};
          GetClassNameW(candidate, name, 16);
          auto& t = *reinterpret_cast<Tesqua*>(self);
          if (id != t.process.dwProcessId || !IsWindowVisible(candidate) ||
              std::wstring(name) == L"#32770" || Text(candidate) != kCaption)
            return TRUE;
          t.window = candidate;
          return FALSE;
        },
        LPARAM(this));
    HWND* controls[] = {&Text1, &Label1, &Check1, &List1, &Label3};
    HWND child = GetWindow(window, GW_CHILD);
    for (HWND* control : controls) {
      *control = child;
      child = GetWindow(child, GW_HWNDNEXT);
    }
    return Label3 != nullptr && child == nullptr;
  }

  // Closes the window as a user would; true when the program ended.
  bool Close() {
    PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitFor([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }))
      return true;
    TerminateProcess(process.hProcess, 1);
    return false;
  }

  std::wstring Text1Text() const { return Text(Text1); }
  bool ShowsText1(const std::wstring& expected, const std::string& what) const {
    WaitFor([&] { return Text1Text() == expected; });
    return ExpectText(Text1Text(), expected, what);
  }
  HWND Focus() const {
    GUITHREADINFO info{sizeof info};
    return GetGUIThreadInfo(process.dwThreadId, &info) ? info.hwndFocus : nullptr;
  }
  long long Memory() const {  // private bytes (Wine gives the resident part)
    PROCESS_MEMORY_COUNTERS counters{sizeof counters};
    GetProcessMemoryInfo(process.hProcess, &counters, sizeof counters);
    return (long long)(counters.PagefileUsage);
  }
};

// --- Expected texts, written out as users see them ----------------------------------------

const char kDefaultLibrary[] =
    "$ZIG\r\n$PEAK\r\n$PEAKBARS\r\n$TROUGH\r\n$TROUGHBARS\r\n$FLATZIG\r\n$FLATZIGA\r\n$PEAKA\r\n"
    "$PEAKBARSA\r\n$TROUGHA\r\n$ZIGA\r\n$FFT\r\n$BACKSET\r\n$WINNER\r\n$LWINNER\r\n$COST\r\n"
    "$DYNAINFO\r\n$FINANCE\r\n$DRAWLINE\r\n#YEAR\r\n#MONTH\r\n#WEEK\r\nCAPITAL\r\nDCLOSE\r\n"
    "DOPEN\r\nDLOW\r\nDVOL\r\n";

std::wstring Instructions() {
  const std::pair<int, const wchar_t*> lines[] = {// leading spaces, text
                                                  {30, L""},
                                                  {30, L""},
                                                  {30, L""},
                                                  {19, L""},
                                                  {0, L"1、使用方法：只要复制公式代码软"},
                                                  {30, L""},
                                                  {1, L"件自动提示是否有未来函数！     "},
                                                  {24, L""},
                                                  {0, L"2、可自定义未来函数特征库，请按"},
                                                  {30, L""},
                                                  {1, L"提示编辑特征库以便更加准确识别 "},
                                                  {15, L""},
                                                  {0, L"未来函数！                     "},
                                                  {12, L""},
                                                  {2, L"更多更好的股软请访问Xuvo软件  "},
                                                  {18, L""},
                                                  {0, L"工作室网站！"}};
  std::wstring text;
  for (const auto& [spaces, line] : lines) text += std::wstring(spaces, L' ') + line + L"\r\n";
  return text;
}

std::wstring Warnings(std::initializer_list<const wchar_t*> names) {
  std::wstring verdict;
  for (const wchar_t* name : names)
    verdict += std::wstring(L"\r\n注意：发现未来函数") + name + L"！";
  return verdict;
}
const std::wstring kNoHit = L"没有发现未来函数！";

// --- The cases ----------------------------------------------------------------------------

std::wstring Folder(const std::wstring& name) {
  const std::wstring folder = case_dir + L"\\" + name;
  CreateDirectoryW(folder.c_str(), nullptr);
  return folder;
}

// Per code.ini, copies and the verdict each leaves in Text1. Before each start the clipboard
// holds a formula that the start must empty and never scan.
void Verdicts() {
  Expect(GetACP() == 936, "the ANSI code page is 936, as on our users' machines");
  struct Row {
    std::vector<Item> copy;
    std::wstring text1;
    const char* screenshot = nullptr;
  };
  struct Library {
    const wchar_t* name;
    const char* bytes;  // nullptr: none, tesqua writes the default
    std::vector<Row> rows;
  };
  const UINT rtf = RegisterClipboardFormatW(L"Rich Text Format");
  const UINT html = RegisterClipboardFormatW(L"HTML Format");
  std::wstring long_text(40000, L'x'), long_end(40000, L'y');
  long_text.replace(100, 7, L"zig(1);");
  long_end.replace(long_end.size() - 4, 4, L"dvol");
  const auto zig_flatzig_backset = Warnings({L"ZIG", L"FLATZIG", L"BACKSET"});
  const std::string gbk = "$ZIG\r\n" + Encode(936, L"跨周期引用\r\n龍") + "\r\nDVOL\r\n";
  const Library libraries[] = {
      {L"default",
       nullptr,
       {{{Unicode(L"A:=zig(C,5);\r\nB:=PEAK (1,2);\r\nV:=XDVOLY;")},
         Warnings({L"ZIG", L"DVOL"}),
         "verdict"},
        {{Unicode(L"MA5:=MA(CLOSE,5);")}, kNoHit},
        {{Unicode(L"X:=BACKSET(C>O,2)+FLATZIG(5);")}, zig_flatzig_backset},  // ZIG( in FLATZIG(
        {{{CF_BITMAP, ""}}, zig_flatzig_backset},  // no text: the verdict stays
        {{}, zig_flatzig_backset},
        {{{rtf, "{\\rtf1 #YEAR}"}, {html, "<b>#YEAR</b>"}, Unicode(L"Y:=#YEAR+DCLOSE;")},
         Warnings({L"#YEAR", L"DCLOSE"})},
        {{Ansi(936, L"ZIG(1)"), Unicode(L"DVOL")}, Warnings({L"ZIG"})},  // the first placed
        {{Unicode(L"DVOL"), Ansi(936, L"ZIG(1)")}, Warnings({L"DVOL"})},
        {{Unicode(std::wstring(L"MA(C)\0DVOL", 10))}, kNoHit},  // the text ends at a NUL
        {{Unicode(long_text)}, Warnings({L"ZIG"})},
        {{Unicode(long_end)}, Warnings({L"DVOL"})}}},  // after character 32767
      {L"chinese",
       gbk.c_str(),
       {{{Unicode(L"A:=跨周期引用(C);")}, Warnings({L"跨周期引用"})},
        // GBK copied under an English keyboard layout, and Big5 that names its locale.
        {{Ansi(936, L"x:=zig(c,5);跨周期引用"), Locale(0x0409)}, Warnings({L"ZIG", L"跨周期引用"})},
        {{Ansi(950, L"DVOL 龍"), Locale(0x0404)}, Warnings({L"龍", L"DVOL"})}}},
      {L"empty", "", {{{Unicode(L"A:=ZIG(C,5)+DVOL;")}, Instructions()}}},
      {L"edited", "DVOL", {{{Unicode(L"x:=DVOL;")}, Warnings({L"DVOL"})}}},
  };
  for (const Library& library : libraries) {
    const std::string name = Utf8(library.name) + ": ";
    const std::wstring folder = Folder(library.name), path = folder + L"\\code.ini";
    if (library.bytes != nullptr) WriteBytes(path, library.bytes);
    SetClipboard({Unicode(L"A:=ZIG(C,5); copied before the start")});
    Tesqua tesqua(folder);
    Expect(WaitFor([] { return CountClipboardFormats() == 0; }),
           name + "the start empties the clipboard");
    tesqua.ShowsText1(Instructions(), name + "Text1 shows the instructions");
    for (const Row& row : library.rows) {
      const std::string copy = name + "copy " + std::to_string(&row - library.rows.data() + 1);
      Expect(Copy(row.copy), copy + " made, and tesqua passed the notice on");
      tesqua.ShowsText1(row.text1, copy + "'s verdict");
      if (row.screenshot != nullptr) Screenshot(row.screenshot, Rect(tesqua.window));
    }
    Expect(tesqua.Close(), name + "closing the window ends the program");
    Expect(ReadBytes(path) == (library.bytes ? library.bytes : kDefaultLibrary),
           name + "code.ini as the user left it, or the default written at the first start");
  }
}

std::wstring ClassName(HWND window) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  return name;
}

// A rectangle in its parent's client area, at 96 DPI: left, top, width, height.
std::vector<long> Place(HWND control) {
  RECT r = Rect(control);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::string Numbers(const std::vector<long>& values) {
  std::string text;
  for (const long value : values) text += std::to_string(value) + ',';
  return text.substr(0, text.size() - 1);
}

// The pixels of a screen rectangle as the display shows them.
struct Pixels {
  RECT area;
  long width, height;
  std::vector<DWORD> bits;
  explicit Pixels(const RECT& r)
      : area(r),
        width(r.right - r.left),
        height(r.bottom - r.top),
        bits(std::size_t(width * height)) {
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB}};
    GetDIBits(memory, bitmap, 0, UINT(height), bits.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
  }
  // Pixels of a colour inside r, and their horizontal extent; smoothed text needs a tolerance.
  struct Count {
    long n = 0, min_x = LONG_MAX, max_x = LONG_MIN;
  };
  Count Of(const RECT& r, COLORREF color, int tolerance) const {
    Count count;
    for (long y = std::max(r.top, area.top); y < std::min(r.bottom, area.bottom); ++y) {
      for (long x = std::max(r.left, area.left); x < std::min(r.right, area.right); ++x) {
        const DWORD pixel = bits[std::size_t((y - area.top) * width + x - area.left)];
        if (std::abs(int(pixel >> 16 & 255) - GetRValue(color)) > tolerance ||
            std::abs(int(pixel >> 8 & 255) - GetGValue(color)) > tolerance ||
            std::abs(int(pixel & 255) - GetBValue(color)) > tolerance)
          continue;
        ++count.n;
        count.min_x = std::min(count.min_x, x);
        count.max_x = std::max(count.max_x, x);
      }
    }
    return count;
  }
};

long Area(const RECT& r) {
  return (r.right - r.left) * (r.bottom - r.top);
}

// The colours as drawn, read back until the window has finished painting (bounded).
void CheckColours(const Tesqua& t) {
  constexpr COLORREF kDarkRed = RGB(128, 0, 0), kWhite = RGB(255, 255, 255);
  const RECT label1 = Rect(t.Label1), label3 = Rect(t.Label3), t1 = Rect(t.Text1);
  const RECT text1 = {t1.left + 1, t1.top + 1, t1.right - 1, t1.bottom - 1};
  const RECT between = {label1.right + 2, label1.top + 2, Rect(t.Check1).left - 2,
                        label1.bottom - 2};
  RECT check1 = Rect(t.Check1);
  check1.left += Scaled(18);  // right of the box, which is drawn in white too
  struct Paint {
    RECT rect;
    COLORREF color;
    int tolerance;
    long at_least;
    const char* what;
  };
  const Paint paints[] = {
      {between, kDarkRed, 0, Area(between), "the window's background is dark red"},
      {text1, RGB(255, 255, 192), 0, Area(text1) / 2, "Text1's background is light yellow"},
      {text1, RGB(255, 0, 0), 40, 300, "Text1's text is red"},
      {label1, kDarkRed, 0, Area(label1) / 2, "Label1's background is dark red"},
      {label1, kWhite, 40, 20, "Label1's text is white"},
      {check1, kDarkRed, 0, Area(check1) / 3, "Check1's background is dark red"},
      {check1, kWhite, 40, 20, "Check1's caption is white"},
      {label3, kDarkRed, 0, Area(label3) / 2, "Label3's background is dark red"},
      {label3, RGB(255, 255, 0), 40, 20, "Label3's text is yellow"}};
  std::vector<long> counts;
  long middle = 0;  // of Label3's text, which is centred
  const auto all_drawn = [&] {
    const Pixels pixels(Rect(t.window));
    counts.clear();
    for (const Paint& paint : paints)
      counts.push_back(pixels.Of(paint.rect, paint.color, paint.tolerance).n);
    const auto yellow = pixels.Of(label3, RGB(255, 255, 0), 40);
    middle = (yellow.min_x + yellow.max_x) / 2 - (label3.left + label3.right) / 2;
    for (std::size_t i = 0; i < counts.size(); ++i)
      if (counts[i] < paints[i].at_least) return false;
    return std::labs(middle) <= Scaled(3);
  };
  WaitFor(all_drawn);
  for (std::size_t i = 0; i < counts.size(); ++i)
    Expect(counts[i] >= paints[i].at_least,
           paints[i].what + (" (" + std::to_string(counts[i]) + " pixels)"));
  Expect(std::labs(middle) <= Scaled(3),
         "Label3's text is centred (off by " + std::to_string(middle) + ")");
}

// Text1's font, read inside tesqua by the probe's hook procedure.
FontReport ReadFont(const Tesqua& t) {
  FontReport report{};
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof report, kFontMapping);
  void* view = MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0);
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring probe_path = path;
  probe_path = probe_path.substr(0, probe_path.rfind(L'\\') + 1) + L"tesqua-e2e-probe.dll";
  HMODULE probe = LoadLibraryW(probe_path.c_str());
  const auto hook_procedure = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void (*)()>(GetProcAddress(probe, "ReadFontHook")));
  HHOOK hook = SetWindowsHookExW(WH_CALLWNDPROC, hook_procedure, probe, t.process.dwThreadId);
  DWORD_PTR result = 0;
  if (hook != nullptr && view != nullptr) {
    SendMessageTimeoutW(t.window, RegisterWindowMessageW(kReadFont), WPARAM(t.Text1), 0,
                        SMTO_NORMAL, 5000, &result);
    std::memcpy(&report, view, sizeof report);
  }
  if (hook != nullptr) UnhookWindowsHookEx(hook);
  if (probe != nullptr) FreeLibrary(probe);
  if (view != nullptr) UnmapViewOfFile(view);
  if (mapping != nullptr) CloseHandle(mapping);
  return report;
}

// A first start's window: its controls, their places, styles, colours and Text1's font.
void Window() {
  Tesqua t(Folder(L"window"));
  t.ShowsText1(Instructions(), "Text1 shows the instructions");
  Expect(Checked(t.Check1) && Topmost(t.window), "Check1 is checked and the window topmost");
  Expect(SendMessageW(t.List1, LB_GETCOUNT, 0, 0) == 27, "List1 holds the library's 27 entries");
  struct Control {
    HWND window;
    const wchar_t *name, *text;
    LONG mask, style;
    std::vector<long> place;
    const char* what;
  };
  const Control controls[] = {
      {t.Text1,
       L"Edit",
       nullptr,
       ES_MULTILINE | WS_VSCROLL | WS_HSCROLL | ES_AUTOHSCROLL | ES_READONLY | ES_CENTER | ES_RIGHT,
       ES_MULTILINE,
       {0, 24, 241, 345},
       "Text1: multi-line, wraps, no scroll bars, editable, left"},
      {t.Label1,
       L"Static",
       L"点此编辑未来函数特征库",
       SS_NOTIFY,
       SS_NOTIFY,
       {0, 8, 145, 17},
       "Label1: raises clicks"},
      {t.Check1,
       L"Button",
       L"窗口置顶",
       BS_TYPEMASK,
       BS_AUTOCHECKBOX,
       {168, 8, 73, 17},
       "Check1: a check box"},
      {t.List1,
       L"ListBox",
       nullptr,
       LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL | WS_VISIBLE,
       0,
       {8, 480, 57, 40},
       "List1: unsorted, single selection, never shown"},
      {t.Label3,
       L"Static",
       L"访问Xuvo软件工作室网站",
       SS_TYPEMASK | SS_NOTIFY,
       SS_CENTER | SS_NOTIFY,
       {0, 376, 241, 17},
       "Label3: centred, raises clicks"}};
  std::vector<std::vector<long> > places;
  for (const Control& c : controls) {  // in tab order
    std::vector<long> place;
    for (const long value : c.place) place.push_back(Scaled(value));
    places.push_back(Place(c.window));
    Expect(ClassName(c.window) == c.name && (!c.text || Text(c.window) == c.text) &&
               (GetWindowLongW(c.window, GWL_STYLE) & c.mask) == c.style && places.back() == place,
           std::string(c.what) + ", at " + Numbers(places.back()) +
               " (96 DPI: " + Numbers(c.place) + ")");
  }
  const LONG style = GetWindowLongW(t.window, GWL_STYLE);
  Expect((style & WS_THICKFRAME) && (style & WS_CAPTION), "a sizable frame with a title bar");
  RECT client{};
  GetClientRect(t.window, &client);
  const RECT outer = Rect(t.window);
  const long top = std::lround((GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2.0);
  Expect(client.right == Scaled(242) && client.bottom == Scaled(393) &&
             outer.right == GetSystemMetrics(SM_CXSCREEN) && outer.top == top,
         "client area 242 x 393 at 96 DPI, flush right, centred vertically (" +
             Numbers({client.right, client.bottom, outer.right, outer.top}) + ")");
  CheckColours(t);
  const FontReport font = ReadFont(t);
  Expect(std::wstring(font.asked.lfFaceName) == L"宋体" &&
             font.asked.lfHeight == -std::lround(10.5 * Dpi() / 72) && font.asked.lfWeight == 700 &&
             font.asked.lfCharSet == GB2312_CHARSET && font.file_weight >= 700,
         "Text1's font: 宋体, 10.5 pt, weight 700, GB2312, drawn from a bold file (" +
             Utf8(font.asked.lfFaceName) + ", " +
             Numbers({font.asked.lfHeight, font.asked.lfWeight, font.asked.lfCharSet,
                      font.file_weight}) +
             ")");
  Screenshot("instructions", outer);
  // Controls never move with the window.
  SetWindowPos(t.window, nullptr, 0, 0, outer.right - outer.left + 300,
               outer.bottom - outer.top + 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  WaitFor([&] { return Rect(t.window).bottom > outer.bottom; });
  std::vector<std::vector<long> > after;
  for (const Control& c : controls) after.push_back(Place(c.window));
  Expect(Rect(t.window).bottom > outer.bottom && after == places && !IsWindowVisible(t.List1),
         "the controls keep their places in a larger window, List1 hidden");
}

std::wstring Lower(std::wstring text) {
  CharLowerBuffW(text.data(), DWORD(text.size()));
  return text;
}

HWND FindEditor() {  // a shown notepad on code.ini
  HWND found = nullptr;
  EnumWindows(
      [](HWND w, LPARAM l) -> BOOL {
        if (!IsWindowVisible(w) || ClassName(w) != L"Notepad" ||
            Text(w).find(L"code.ini") == std::wstring::npos)
          return TRUE;
        *reinterpret_cast<HWND*>(l) = w;
        return FALSE;
      },
      LPARAM(&found));
  return found;
}

bool IsSystemNotepad(HWND window) {
  DWORD id = 0;
  GetWindowThreadProcessId(window, &id);
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  const bool read = process != nullptr && QueryFullProcessImageNameW(process, 0, path, &size);
  if (process != nullptr) CloseHandle(process);
  const std::wstring image = Lower(path);
  return read && image.ends_with(L"\\notepad.exe") &&
         image.find(Lower(case_dir)) == std::wstring::npos;
}

// Clicks and keys on a first start's window, one after another, each waited for until its
// effect shows.
void Clicks() {
  const std::wstring folder = Folder(L"tesqua");
  wchar_t self[MAX_PATH] = {};  // a notepad.exe planted where tesqua runs, never to be started
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  CopyFileW(self, (folder + L"\\notepad.exe").c_str(), FALSE);
  Tesqua t(folder);
  std::wstring before, typed;
  HWND box = nullptr, editor = nullptr;
  const auto focus = [&t](HWND w) { return [&t, w] { return t.Focus() == w; }; };
  const auto keys = [](std::vector<WORD> list) { return [list] { Keys(list); }; };
  struct Step {
    const char* what;
    std::function<void()> act;
    std::function<bool()> done;
  };
  const Step steps[] = {
      {"a click in Text1 focuses it", [&] { Click(t.Text1, 0.5, 0.97); }, focus(t.Text1)},
      {"Enter makes a new line in Text1",
       [&] {
         before = t.Text1Text();
         Keys({VK_RETURN});
       },
       [&] {
         typed = t.Text1Text();
         const auto at =
             std::mismatch(before.begin(), before.end(), typed.begin(), typed.end()).first -
             before.begin();
         return typed ==
                before.substr(0, std::size_t(at)) + L"\r\n" + before.substr(std::size_t(at));
       }},
      {"Tab moves from Text1 to Check1", keys({VK_TAB}), focus(t.Check1)},
      {"Tab moves back to Text1", keys({VK_TAB}), focus(t.Text1)},
      {"Shift+Tab moves from Text1 to Check1", keys({VK_SHIFT, VK_TAB}), focus(t.Check1)},
      {"Shift+Tab moves back to Text1; the keys typed nothing and toggled nothing",
       keys({VK_SHIFT, VK_TAB}),
       [&] { return t.Focus() == t.Text1 && t.Text1Text() == typed && Checked(t.Check1); }},
      {"a click unchecks Check1 and the window leaves the topmost band",
       [&] { Click(t.Check1, 0.5, 0.5); },
       [&] { return !Checked(t.Check1) && !Topmost(t.window); }},
      {"a second click checks it, and the window is topmost again",
       [&] { Click(t.Check1, 0.5, 0.5); }, [&] { return Checked(t.Check1) && Topmost(t.window); }},
      {"a click on Label3 has the shell open the maker's web page",
       [&] { Click(t.Label3, 0.05, 0.5); },
       [&] { return ReadBytes(case_dir + L"\\opened-address") == "http://www.xuvo.example/"; }},
      {"a click on Label1 shows the two-line message box titled with the caption, OK only",
       [&] { Click(t.Label1, 0.9, 0.5); },
       [&] {
         box = FindWindowW(L"#32770", kCaption);
         return box && GetDlgItem(box, IDOK) && !GetDlgItem(box, IDCANCEL) && !FindEditor() &&
                Text(GetDlgItem(box, 0xFFFF)) ==
                    L"带参数的函数，请在前面加$,否则容易识别错误!"
                    L"\r\n编辑完成保存后重新打开程序即可!";
       }},
      {"closing it starts the system's notepad on code.ini",
       [&] { PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0); },
       [&] { return (editor = FindEditor()) != nullptr && IsSystemNotepad(editor); }}};
  for (const Step& step : steps) {
    step.act();
    Expect(WaitFor(step.done), step.what);
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

// Other viewers in the chain; a clipboard held right after a copy; bursts of copies.
void Clipboard() {
  Viewer middle;  // tesqua -> middle -> viewer
  Join(middle);
  Tesqua t(Folder(L"tesqua"));
  const int middle_before = middle.notices, viewer_before = viewer.notices;
  Expect(SetClipboard({Unicode(L"ZIG(1)")}) && WaitFor([&] {
           return middle.notices > middle_before && viewer.notices > viewer_before;
         }),
         "a notice reaches both viewers after tesqua");
  t.ShowsText1(Warnings({L"ZIG"}), "the copy's verdict");
  ChangeClipboardChain(middle.window, middle.next);  // the system tells tesqua at once
  const int middle_left = middle.notices;
  Expect(Copy({Unicode(L"DVOL")}) && middle.notices == middle_left,
         "once the middle viewer left, tesqua passes notices to the one after it");
  t.ShowsText1(Warnings({L"DVOL"}), "the copy's verdict");

  // Copies and opens the clipboard at once, while tesqua's thread is stopped: its read is sure
  // to find the clipboard held. A thread stopped inside a read of its own would hold it: then
  // it goes on and the copy is tried again.
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
    const std::wstring before = t.Text1Text();
    const int notices = viewer.notices;
    int pings = 0, late = 0;
    const bool copied = copy_and_hold(text);
    for (const ULONGLONG end = GetTickCount64() + milliseconds; GetTickCount64() < end;
         Pump(), ++pings)
      late += !Answers(t.window);
    const bool passed_on = viewer.notices > notices, kept = t.Text1Text() == before;
    CloseClipboard();
    Expect(copied && passed_on && kept && late == 0,
           held + "tesqua passed the notice on, kept its verdict and answered within 100 ms (" +
               std::to_string(late) + " of " + std::to_string(pings) + " late)");
    t.ShowsText1(Warnings({hit}), held + "the copy's verdict once the clipboard is released");
  }

  // Bursts of copies as fast as a program can make them: the verdict is the last text's, never
  // one mixed from two, and memory stays as it was.
  const std::wstring texts[] = {L"A:=ZIG(C,5);", L"B:=DVOL;"},
                     verdicts[] = {Warnings({L"ZIG"}), Warnings({L"DVOL"})};
  const long long memory = t.Memory();
  for (int round = 0; round < 3; ++round) {
    const std::string burst = "burst " + std::to_string(round + 1) + " of 2,000 copies: ";
    bool copied = true;
    for (int copy = 0; copy < 2000; ++copy, Pump(0))
      copied = SetClipboard({Unicode(texts[(round + copy + 1) % 2])}) && copied;
    const std::wstring& last = verdicts[round % 2];
    t.ShowsText1(last, burst + "the last text's verdict");
    // Notices still queued come before this message: the verdict must outlast them.
    const long long growth = t.Memory() - memory;
    Expect(copied && Answers(t.window) && t.Text1Text() == last && memory > 0 && growth < 1 << 20,
           burst + "the verdict stays, memory grew by less than 1 MB (" + std::to_string(growth) +
               " bytes)");
  }
  Expect(t.Close() && Copy({Unicode(L"after tesqua")}),
         "tesqua left the chain whole when it closed");
}

// tesqua-scan.exe (exe) on two files; its output and errors to output; its exit status.
DWORD Scan(HANDLE output) {
  std::wstring command = L"\"" + exe + L"\" --library lib.ini 未来.txt b.txt";
  STARTUPINFOW startup{sizeof startup};
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = output;
  PROCESS_INFORMATION process{};
  DWORD status = DWORD(-1);
  if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, case_dir.c_str(),
                     &startup, &process)) {
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  return status;
}

// tesqua-scan.exe in a console of its own with code page 936: its lines as a person sees them
// on the console's screen; redirected to a file, UTF-8.
void Console() {
  WriteBytes(case_dir + L"\\lib.ini", "$ZIG\r\n");
  WriteBytes(case_dir + L"\\未来.txt", "ZIG(1)");
  WriteBytes(case_dir + L"\\b.txt", "MA(C,5)");
  const std::wstring lines[] = {
      L"未来.txt: ZIG", L"b.txt: 没有发现未来函数！",
      L"2 files scanned, 1 with hits, 0 could not be read, 0 skipped as binary"};
  FreeConsole();  // this program's output goes to the runner's log file, not to a console
  Expect(AllocConsole() && SetConsoleOutputCP(936), "a console of its own, code page 936");
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE console =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherited, OPEN_EXISTING, 0, nullptr);
  Expect(Scan(console) == 1, "exit status 1 in the console");
  std::string expected;
  for (const std::wstring& line : lines) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(console, &info);
    std::wstring row(std::size_t(info.dwSize.X), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(console, row.data(), DWORD(row.size()), {0, SHORT(&line - lines)},
                                &read);
    row.erase(row.find_last_not_of(L' ') + 1);
    ExpectText(row, line, "the console shows \"" + Utf8(line) + "\"");
    expected += Utf8(line) + "\n";
  }
  const std::wstring path = case_dir + L"\\redirected.txt";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS,
                            0, nullptr);
  Expect(Scan(file) == 1, "exit status 1 redirected");
  CloseHandle(file);
  Expect(ReadBytes(path) == expected,
         "redirected, the output is UTF-8: \"" + ReadBytes(path) + "\"");
  HWND window = GetConsoleWindow();
  Expect(WaitFor([&] { return IsWindowVisible(window) != FALSE; }), "the console has a window");
  Screenshot("console", Rect(window));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (Lower(argv[0]).find(L"notepad") != std::wstring::npos) {  // started in notepad's place
    WriteBytes(L"planted-notepad-ran", "ran");
    return 3;
  }
  const std::map<std::wstring, void (*)()> cases = {{L"window", &Window},
                                                    {L"verdicts", &Verdicts},
                                                    {L"clicks", &Clicks},
                                                    {L"clipboard", &Clipboard},
                                                    {L"console", &Console}};
  if (argc != 4 || !cases.count(argv[1])) {
    Print("usage: tesqua-e2e window|verdicts|clicks|clipboard|console EXE CASE_DIR");
    return 2;
  }
  exe = argv[2];
  case_dir = argv[3];
  owner = NewWindow();
  Join(viewer);
  cases.at(argv[1])();
  ChangeClipboardChain(viewer.window, viewer.next);
  Print(std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
  return failed == 0 && passed > 0 ? 0 : 1;
}
#endif
