// Drives tesqua.exe end to end under the same Wine session: starts it in a case directory,
// changes the clipboard, reads the window and its controls back, clicks like a user.
//
//   tesqua-e2e.exe CASE TESQUA_EXE CASE_DIR
//
// Prints one line per check and a closing "N passed, N failed"; exits 1 when a check failed.
#include <windows.h>
// After <windows.h>, which it needs.
#include <psapi.h>

#include "tests/e2e/win32/font_probe.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr DWORD kPollMilliseconds = 20;
constexpr double kWaitSeconds = 15;
constexpr wchar_t kCaption[] = L"TesquaV2.0";

// --- Checks and output --------------------------------------------------------------------

int passed = 0;
int failed = 0;

std::string Utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(std::size_t(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), size, nullptr,
                      nullptr);
  return bytes;
}

// Text for a log line: CR and LF made visible.
std::string Shown(std::wstring_view text) {
  std::string shown;
  for (const char byte : Utf8(text)) {
    if (byte == '\r') {
      shown += "\\r";
    } else if (byte == '\n') {
      shown += "\\n";
    } else {
      shown += byte;
    }
  }
  if (shown.size() > 300) shown = shown.substr(0, 300) + "...";
  return shown;
}

void Print(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool Expect(bool condition, const std::string& what) {
  ++(condition ? passed : failed);
  Print((condition ? "ok     " : "FAILED ") + what);
  return condition;
}

bool ExpectText(std::wstring_view actual, std::wstring_view expected, const std::string& what) {
  if (actual == expected) return Expect(true, what);
  Expect(false, what);
  Print("       expected: " + Shown(expected));
  Print("       actual:   " + Shown(actual));
  return false;
}

// --- Waiting ------------------------------------------------------------------------------

// Runs this thread's messages (the viewer windows live here), waiting for at most a poll
// interval for the first.
void PumpMessages(DWORD wait_milliseconds = kPollMilliseconds) {
  MsgWaitForMultipleObjects(0, nullptr, FALSE, wait_milliseconds, QS_ALLINPUT);
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Polls until condition holds or the bound passes; the clipboard and the window change
// asynchronously under Wine.
bool WaitFor(const std::function<bool()>& condition, double seconds = kWaitSeconds) {
  const ULONGLONG deadline = GetTickCount64() + ULONGLONG(seconds * 1000);
  while (true) {
    if (condition()) return true;
    if (GetTickCount64() > deadline) return false;
    PumpMessages();
  }
}

// --- Expected texts, as the users see them ------------------------------------------------

const std::vector<std::wstring> kDefaultLibrary = {
    L"$ZIG",      L"$PEAK",   L"$PEAKBARS",  L"$TROUGH",  L"$TROUGHBARS", L"$FLATZIG",
    L"$FLATZIGA", L"$PEAKA",  L"$PEAKBARSA", L"$TROUGHA", L"$ZIGA",       L"$FFT",
    L"$BACKSET",  L"$WINNER", L"$LWINNER",   L"$COST",    L"$DYNAINFO",   L"$FINANCE",
    L"$DRAWLINE", L"#YEAR",   L"#MONTH",     L"#WEEK",    L"CAPITAL",     L"DCLOSE",
    L"DOPEN",     L"DLOW",    L"DVOL"};

std::wstring Instructions() {
  struct Line {
    int before;
    const wchar_t* text;
    int after;
  };
  const Line lines[] = {{30, L"", 0},
                        {30, L"", 0},
                        {30, L"", 0},
                        {19, L"", 0},
                        {0, L"1、使用方法：只要复制公式代码软", 0},
                        {30, L"", 0},
                        {1, L"件自动提示是否有未来函数！", 5},
                        {24, L"", 0},
                        {0, L"2、可自定义未来函数特征库，请按", 0},
                        {30, L"", 0},
                        {1, L"提示编辑特征库以便更加准确识别", 1},
                        {15, L"", 0},
                        {0, L"未来函数！", 21},
                        {12, L"", 0},
                        {2, L"更多更好的股软请访问Xuvo软件", 2},
                        {18, L"", 0},
                        {0, L"工作室网站！", 0}};
  std::wstring text;
  for (const Line& line : lines) {
    text += std::wstring(std::size_t(line.before), L' ') + line.text +
            std::wstring(std::size_t(line.after), L' ') + L"\r\n";
  }
  return text;
}

std::wstring Warnings(std::initializer_list<const wchar_t*> names) {
  std::wstring verdict;
  for (const wchar_t* name : names)
    verdict += std::wstring(L"\r\n注意：发现未来函数") + name + L"！";
  return verdict;
}

const std::wstring kNoHit = L"没有发现未来函数！";

// --- Files --------------------------------------------------------------------------------

std::wstring Join(const std::wstring& directory, const wchar_t* name) {
  return directory + L"\\" + name;
}

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  CloseHandle(file);
  return ok;
}

bool ReadBytes(const std::wstring& path, std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bytes.clear();
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0)
    bytes.append(buffer, read);
  CloseHandle(file);
  return true;
}

bool FileExists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string Encode(UINT code_page, std::wstring_view text) {
  const int size = WideCharToMultiByte(code_page, 0, text.data(), int(text.size()), nullptr, 0,
                                       nullptr, nullptr);
  std::string bytes(std::size_t(size), '\0');
  WideCharToMultiByte(code_page, 0, text.data(), int(text.size()), bytes.data(), size, nullptr,
                      nullptr);
  return bytes;
}

// --- The clipboard ------------------------------------------------------------------------

struct ClipboardItem {
  UINT format;
  std::string bytes;  // a global block's content; ignored for CF_BITMAP
};

std::string Utf16Bytes(std::wstring_view text) {
  std::string bytes(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(wchar_t));
  bytes.append(sizeof(wchar_t), '\0');
  return bytes;
}

std::string AnsiBytes(std::string text) {
  text.push_back('\0');
  return text;
}

std::string LocaleBytes(LCID locale) {
  return std::string(reinterpret_cast<const char*>(&locale), sizeof locale);
}

bool OpenClipboardBounded(HWND owner) {
  return WaitFor([owner] { return OpenClipboard(owner) != FALSE; }, 5);
}

// Another program copies: the clipboard is emptied and the items placed in their order.
bool SetClipboard(HWND owner, const std::vector<ClipboardItem>& items) {
  if (!OpenClipboardBounded(owner)) return false;
  bool ok = EmptyClipboard();
  for (const ClipboardItem& item : items) {
    HANDLE data = nullptr;
    if (item.format == CF_BITMAP) {
      HDC screen = GetDC(nullptr);
      data = CreateCompatibleBitmap(screen, 8, 8);
      ReleaseDC(nullptr, screen);
    } else {
      HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, item.bytes.size());
      if (block != nullptr) {
        std::memcpy(GlobalLock(block), item.bytes.data(), item.bytes.size());
        GlobalUnlock(block);
      }
      data = block;
    }
    // On success the clipboard owns the data.
    ok = ok && data != nullptr && SetClipboardData(item.format, data) != nullptr;
  }
  CloseClipboard();
  return ok;
}

bool CopyUnicode(HWND owner, std::wstring_view text) {
  return SetClipboard(owner, {{CF_UNICODETEXT, Utf16Bytes(text)}});
}

int ClipboardFormatCount() {
  return CountClipboardFormats();
}

// --- Viewers of our own in the clipboard-viewer chain -------------------------------------

struct Viewer {
  HWND window = nullptr;
  HWND next = nullptr;
  int notices = 0;
  std::vector<std::pair<HWND, HWND>> chain_changes;
};

std::map<HWND, Viewer*> viewers;

LRESULT CALLBACK ViewerProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  const auto found = viewers.find(window);
  if (found != viewers.end()) {
    Viewer& viewer = *found->second;
    if (message == WM_DRAWCLIPBOARD) {
      ++viewer.notices;
      if (viewer.next != nullptr) SendMessageW(viewer.next, message, w_param, l_param);
      return 0;
    }
    if (message == WM_CHANGECBCHAIN) {
      viewer.chain_changes.emplace_back(HWND(w_param), HWND(l_param));
      if (HWND(w_param) == viewer.next) {
        viewer.next = HWND(l_param);
      } else if (viewer.next != nullptr) {
        SendMessageW(viewer.next, message, w_param, l_param);
      }
      return 0;
    }
  }
  return DefWindowProcW(window, message, w_param, l_param);
}

HWND CreateHelperWindow() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSW window_class{};
    window_class.lpfnWndProc = &ViewerProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"TesquaE2eViewer";
    RegisterClassW(&window_class);
    registered = true;
  }
  return CreateWindowExW(0, L"TesquaE2eViewer", L"viewer", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                         nullptr, GetModuleHandleW(nullptr), nullptr);
}

void Join(Viewer& viewer) {
  viewer.window = CreateHelperWindow();
  viewers[viewer.window] = &viewer;
  viewer.next = SetClipboardViewer(viewer.window);
}

// The system sends WM_CHANGECBCHAIN to the first viewer before this returns.
void Leave(Viewer& viewer) {
  ChangeClipboardChain(viewer.window, viewer.next);
}

// --- The program under test ---------------------------------------------------------------

std::wstring ClassName(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

// WM_GETTEXT, which reaches another process's controls where GetWindowText does not.
std::wstring WindowText(HWND window) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
    return L"<no answer>";
  }
  std::wstring text(length + 1, L'\0');
  DWORD_PTR copied = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 5000, &copied);
  text.resize(copied);
  return text;
}

RECT ScreenRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

// A control's rectangle in its parent's client coordinates: left, top, width, height.
std::vector<long> ClientGeometry(HWND control) {
  RECT rect = ScreenRect(control);
  MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

std::string Describe(const std::vector<long>& values) {
  std::string text;
  for (const long value : values) {
    if (!text.empty()) text += ',';
    text += std::to_string(value);
  }
  return text;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

long Scaled(long pixels_at_96) {
  return MulDiv(int(pixels_at_96), ScreenDpi(), 96);
}

// Moves the pointer to the screen's top-left corner, where no window of tesqua's appears. A
// window that appears under the pointer is told where the pointer was; that news, handled
// late on a loaded machine, could move the pointer back between the move and the press of a
// click meant for the new window.
void ParkPointer() {
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &input, sizeof input);
}

// Presses the keys in order and releases them in reverse, as a user types a combination.
void PressKeys(std::initializer_list<WORD> keys) {
  std::vector<INPUT> inputs;
  for (const WORD key : keys) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = key;
    inputs.push_back(input);
  }
  for (auto key = keys.end(); key != keys.begin();) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = *--key;
    input.ki.dwFlags = KEYEVENTF_KEYUP;
    inputs.push_back(input);
  }
  SendInput(UINT(inputs.size()), inputs.data(), sizeof(INPUT));
}

class Tesqua {
 public:
  Tesqua(const std::wstring& exe, const std::wstring& directory) {
    ParkPointer();
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring command = L"\"" + exe + L"\"";
    started_ = CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                              directory.c_str(), &startup, &process_);
    if (!started_) return;
    WaitFor([this] { return FindShownWindow(); }, 30);
  }

  ~Tesqua() {
    if (!started_) return;
    Close();
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }

  Tesqua(const Tesqua&) = delete;
  Tesqua& operator=(const Tesqua&) = delete;

  bool running() const { return window != nullptr; }

  // Closes the window as the user would and waits for the program to end.
  bool Close() {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0) return true;
    if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
    const bool ended =
        WaitFor([this] { return WaitForSingleObject(process_.hProcess, 0) == WAIT_OBJECT_0; }, 15);
    if (!ended) TerminateProcess(process_.hProcess, 1);
    return ended;
  }

  std::wstring Text1Text() const { return WindowText(Text1); }

  // Stops tesqua's window thread, or lets it go on.
  void Suspend() const { SuspendThread(process_.hThread); }
  void Resume() const { ResumeThread(process_.hThread); }

  // The control that has the keyboard focus in tesqua's window thread.
  HWND Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    return GetGUIThreadInfo(process_.dwThreadId, &info) ? info.hwndFocus : nullptr;
  }

  DWORD thread_id() const { return process_.dwThreadId; }

  // The process's private memory in bytes (Wine gives the resident part), 0 when unknown.
  SIZE_T PrivateMemory() const {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!GetProcessMemoryInfo(process_.hProcess, &counters, sizeof counters)) return 0;
    return counters.PagefileUsage;
  }

  HWND window = nullptr;
  HWND Text1 = nullptr;
  HWND List1 = nullptr;
  HWND Check1 = nullptr;
  HWND Label1 = nullptr;
  HWND Label3 = nullptr;

 private:
  struct Search {
    DWORD process_id;
    HWND found;
  };

  static BOOL CALLBACK Consider(HWND candidate, LPARAM l_param) {
    auto& search = *reinterpret_cast<Search*>(l_param);
    DWORD process_id = 0;
    GetWindowThreadProcessId(candidate, &process_id);
    if (process_id != search.process_id || !IsWindowVisible(candidate)) return TRUE;
    wchar_t title[64] = {};
    GetWindowTextW(candidate, title, 64);
    if (std::wstring_view(title) != kCaption || ClassName(candidate) == L"#32770") return TRUE;
    search.found = candidate;
    return FALSE;
  }

  bool FindShownWindow() {
    Search search{process_.dwProcessId, nullptr};
    EnumWindows(&Consider, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return false;
    window = search.found;
    Text1 = FindWindowExW(window, nullptr, L"Edit", nullptr);
    List1 = FindWindowExW(window, nullptr, L"ListBox", nullptr);
    Check1 = FindWindowExW(window, nullptr, L"Button", nullptr);
    Label1 = FindWindowExW(window, nullptr, L"Static", L"点此编辑未来函数特征库");
    Label3 = FindWindowExW(window, nullptr, L"Static", L"访问Xuvo软件工作室网站");
    return true;
  }

  bool started_ = false;
  PROCESS_INFORMATION process_{};
};

void ClickAt(POINT point) {
  // The move and the button travel in one input stream, so the press cannot reach the screen
  // before the pointer has arrived where it is meant to land.
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  const LONG x = LONG(MulDiv(point.x, 65535, width - 1));
  const LONG y = LONG(MulDiv(point.y, 65535, height - 1));
  INPUT inputs[3] = {};
  for (INPUT& input : inputs) {
    input.type = INPUT_MOUSE;
    input.mi.dx = x;
    input.mi.dy = y;
  }
  inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTDOWN | MOUSEEVENTF_ABSOLUTE;
  inputs[2].mi.dwFlags = MOUSEEVENTF_LEFTUP | MOUSEEVENTF_ABSOLUTE;
  SendInput(3, inputs, sizeof(INPUT));
}

// A point inside the control, as far into it as the fractions say.
POINT PointIn(HWND control, double x_fraction, double y_fraction) {
  const RECT rect = ScreenRect(control);
  return {rect.left + LONG(std::lround((rect.right - rect.left) * x_fraction)),
          rect.top + LONG(std::lround((rect.bottom - rect.top) * y_fraction))};
}

// Clicks a control once the system finds it under the point: a window just shown may not yet
// be where its rectangle says, or may still be covered.
void ClickOn(HWND control, double x_fraction, double y_fraction) {
  const POINT point = PointIn(control, x_fraction, y_fraction);
  WaitFor([&] { return WindowFromPoint(point) == control; });
  ClickAt(point);
}

bool IsTopmost(HWND window) {
  return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

bool IsChecked(HWND check_box) {
  return SendMessageW(check_box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

// --- What the screen shows ----------------------------------------------------------------

// The pixels of a screen rectangle, read back from the display.
class ScreenPixels {
 public:
  explicit ScreenPixels(const RECT& rect)
      : left_(rect.left),
        top_(rect.top),
        width_(rect.right - rect.left),
        height_(rect.bottom - rect.top) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width_;
    info.bmiHeader.biHeight = -height_;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width_, height_, screen, left_, top_, SRCCOPY);
    GdiFlush();
    const auto* pixels = static_cast<const DWORD*>(bits);
    pixels_.assign(pixels, pixels + std::size_t(width_) * std::size_t(height_));
    SelectObject(memory, old);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
  }

  // Pixels of the colour inside a screen rectangle, and their horizontal extent.
  struct Count {
    long count = 0;
    long min_x = LONG_MAX;
    long max_x = LONG_MIN;
  };
  // Text is drawn smoothed, so text colours are counted with a tolerance per channel.
  Count CountColor(const RECT& rect, BYTE red, BYTE green, BYTE blue, int tolerance = 0) const {
    Count count;
    const auto close_to = [tolerance](DWORD pixel, int shift, BYTE wanted) {
      return std::abs(int((pixel >> shift) & 0xFF) - int(wanted)) <= tolerance;
    };
    for (long y = rect.top; y < rect.bottom; ++y) {
      for (long x = rect.left; x < rect.right; ++x) {
        const long column = x - left_;
        const long row = y - top_;
        if (column < 0 || row < 0 || column >= width_ || row >= height_) continue;
        const DWORD pixel = pixels_[std::size_t(row * width_ + column)];
        if (!close_to(pixel, 16, red) || !close_to(pixel, 8, green) || !close_to(pixel, 0, blue)) {
          continue;
        }
        ++count.count;
        count.min_x = std::min(count.min_x, x);
        count.max_x = std::max(count.max_x, x);
      }
    }
    return count;
  }

 private:
  long left_, top_, width_, height_;
  std::vector<DWORD> pixels_;
};

RECT Inset(RECT rect, long left, long top, long right, long bottom) {
  return {rect.left + left, rect.top + top, rect.right - right, rect.bottom - bottom};
}

long Area(const RECT& rect) {
  return (rect.right - rect.left) * (rect.bottom - rect.top);
}

// --- The cases ----------------------------------------------------------------------------

struct Context {
  std::wstring exe;
  std::wstring directory;
  HWND owner;     // our own window, which owns what we put on the clipboard
  Viewer viewer;  // joined before tesqua starts, so tesqua passes each notice on to it
};

std::wstring LibraryPath(const Context& context) {
  return Join(context.directory, L"code.ini");
}

std::string DefaultLibraryBytes() {
  std::string bytes;
  for (const std::wstring& entry : kDefaultLibrary) bytes += Utf8(entry) + "\r\n";
  return bytes;
}

// Copies and waits until tesqua has handled the notice: it passes each notice on to the next
// viewer, ours, only after its scan.
bool CopyAndWaitForNotice(Context& context, const std::vector<ClipboardItem>& items,
                          const std::string& what) {
  const int before = context.viewer.notices;
  if (!Expect(SetClipboard(context.owner, items), "copied " + what)) return false;
  return Expect(WaitFor([&] { return context.viewer.notices > before; }),
                "tesqua passed the notice of " + what + " on to the next viewer");
}

bool WaitForText1(const Tesqua& tesqua, const std::wstring& expected, const std::string& what) {
  WaitFor([&] { return tesqua.Text1Text() == expected; });
  return ExpectText(tesqua.Text1Text(), expected, what);
}

void CheckGeometry(const Tesqua& tesqua) {
  RECT client{};
  GetClientRect(tesqua.window, &client);
  Expect(client.right == Scaled(242) && client.bottom == Scaled(393),
         "client area is 242 x 393 at 96 DPI (" + std::to_string(client.right) + " x " +
             std::to_string(client.bottom) + " at " + std::to_string(ScreenDpi()) + " DPI)");

  const RECT outer = ScreenRect(tesqua.window);
  const long screen_width = GetSystemMetrics(SM_CXSCREEN);
  const long screen_height = GetSystemMetrics(SM_CYSCREEN);
  const long outer_height = outer.bottom - outer.top;
  Expect(outer.right == screen_width, "flush with the right edge of the screen (right " +
                                          std::to_string(outer.right) + ", screen " +
                                          std::to_string(screen_width) + ")");
  const long top = std::lround((screen_height - outer_height) / 2.0);
  Expect(outer.top == top, "vertically centred (top " + std::to_string(outer.top) + ", expected " +
                               std::to_string(top) + ")");

  const std::vector<std::pair<HWND, std::vector<long>>> expected = {
      {tesqua.Label1, {0, 8, 145, 17}},
      {tesqua.Check1, {168, 8, 73, 17}},
      {tesqua.Text1, {0, 24, 241, 345}},
      {tesqua.Label3, {0, 376, 241, 17}},
      {tesqua.List1, {8, 480, 57, 40}}};
  for (const auto& [control, pixels] : expected) {
    std::vector<long> scaled;
    for (const long value : pixels) scaled.push_back(Scaled(value));
    const std::vector<long> actual = ClientGeometry(control);
    Expect(actual == scaled, Utf8(ClassName(control)) + " at " + Describe(scaled) + " (is at " +
                                 Describe(actual) + ")");
  }
}

void CheckControls(const Tesqua& tesqua) {
  Expect(tesqua.Text1 && tesqua.List1 && tesqua.Check1 && tesqua.Label1 && tesqua.Label3,
         "Text1, List1, Check1, Label1 and Label3 exist");
  ExpectText(WindowText(tesqua.window), kCaption, "the caption");
  ExpectText(WindowText(tesqua.Check1), L"窗口置顶", "Check1's caption");
  const LONG window_style = GetWindowLongW(tesqua.window, GWL_STYLE);
  Expect((window_style & WS_THICKFRAME) && (window_style & WS_CAPTION),
         "a sizable frame with a title bar");

  const LONG text_style = GetWindowLongW(tesqua.Text1, GWL_STYLE);
  Expect((text_style & ES_MULTILINE) && !(text_style & (WS_VSCROLL | WS_HSCROLL)) &&
             !(text_style & ES_AUTOHSCROLL) && !(text_style & ES_READONLY) &&
             !(text_style & (ES_CENTER | ES_RIGHT)),
         "Text1 is multi-line, wraps, has no scroll bars, is editable and left-aligned");
  const LONG check_style = GetWindowLongW(tesqua.Check1, GWL_STYLE);
  Expect((check_style & BS_TYPEMASK) == BS_AUTOCHECKBOX, "Check1 is a check box");
  const LONG label3_style = GetWindowLongW(tesqua.Label3, GWL_STYLE);
  Expect((label3_style & SS_TYPEMASK) == SS_CENTER && (label3_style & SS_NOTIFY),
         "Label3 is centred and raises clicks");
  Expect((GetWindowLongW(tesqua.Label1, GWL_STYLE) & SS_NOTIFY) != 0, "Label1 raises clicks");

  const LONG list_style = GetWindowLongW(tesqua.List1, GWL_STYLE);
  Expect(!(list_style & (LBS_SORT | LBS_MULTIPLESEL | LBS_EXTENDEDSEL)),
         "List1 is unsorted with single selection");
  Expect(!IsWindowVisible(tesqua.List1), "List1 is never shown");

  std::vector<HWND> order;
  for (HWND child = GetWindow(tesqua.window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    order.push_back(child);
  }
  Expect(order == std::vector<HWND>{tesqua.Text1, tesqua.Label1, tesqua.Check1, tesqua.List1,
                                    tesqua.Label3},
         "tab order Text1, Label1, Check1, List1, Label3");
}

// Far enough from the background colours that a smoothed edge of text still counts as text.
constexpr int kTextTolerance = 40;

struct ColorCheck {
  bool passed;
  std::string what;
};

std::vector<ColorCheck> ColorChecks(const Tesqua& tesqua, const ScreenPixels& screen) {
  std::vector<ColorCheck> checks;
  const RECT between = {ScreenRect(tesqua.Label1).right + 2, ScreenRect(tesqua.Label1).top + 2,
                        ScreenRect(tesqua.Check1).left - 2, ScreenRect(tesqua.Check1).bottom - 2};
  checks.push_back({screen.CountColor(between, 128, 0, 0).count == Area(between),
                    "the window's background is dark red"});

  const RECT text1 = Inset(ScreenRect(tesqua.Text1), 1, 1, 1, 1);
  checks.push_back({screen.CountColor(text1, 255, 255, 192).count > Area(text1) / 2,
                    "Text1's background is light yellow"});
  checks.push_back(
      {screen.CountColor(text1, 255, 0, 0, kTextTolerance).count > 300, "Text1's text is red"});

  const RECT label1 = ScreenRect(tesqua.Label1);
  checks.push_back({screen.CountColor(label1, 128, 0, 0).count > Area(label1) / 2 &&
                        screen.CountColor(label1, 255, 255, 255, kTextTolerance).count > 20,
                    "Label1 is white on dark red"});

  // Right of the box, where the caption stands: the box itself is drawn in white too.
  const RECT check1 = Inset(ScreenRect(tesqua.Check1), Scaled(18), 0, 0, 0);
  const long check1_back = screen.CountColor(check1, 128, 0, 0).count;
  const long check1_white = screen.CountColor(check1, 255, 255, 255, kTextTolerance).count;
  checks.push_back({check1_back > Area(check1) / 3 && check1_white > 20,
                    "Check1's caption is white on dark red (" + std::to_string(check1_white) +
                        " white, " + std::to_string(check1_back) + " dark red of " +
                        std::to_string(Area(check1)) + ")"});

  const RECT label3 = ScreenRect(tesqua.Label3);
  const ScreenPixels::Count yellow = screen.CountColor(label3, 255, 255, 0, kTextTolerance);
  checks.push_back(
      {screen.CountColor(label3, 128, 0, 0).count > Area(label3) / 2 && yellow.count > 20,
       "Label3 is yellow on dark red"});
  const long text_middle = (yellow.min_x + yellow.max_x) / 2;
  const long label_middle = (label3.left + label3.right) / 2;
  checks.push_back({yellow.count > 0 && std::labs(text_middle - label_middle) <= Scaled(3),
                    "Label3's caption is centred (middle " + std::to_string(text_middle) +
                        ", label's " + std::to_string(label_middle) + ")"});
  return checks;
}

// Reads the window back from the screen until it has finished painting (bounded).
void CheckColors(const Tesqua& tesqua) {
  std::vector<ColorCheck> checks;
  WaitFor([&] {
    checks = ColorChecks(tesqua, ScreenPixels(ScreenRect(tesqua.window)));
    for (const ColorCheck& check : checks) {
      if (!check.passed) return false;
    }
    return true;
  });
  for (const ColorCheck& check : checks) Expect(check.passed, check.what);
}

// Text1's font, read inside tesqua by the probe DLL's hook procedure (a font handle means
// nothing in another process).
bool ReadText1Font(const Tesqua& tesqua, FontReport& report) {
  report = {};
  HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      sizeof(FontReport), kFontMapping);
  void* view = mapping != nullptr ? MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0) : nullptr;
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring probe_path = path;
  probe_path = probe_path.substr(0, probe_path.rfind(L'\\') + 1) + L"tesqua-e2e-probe.dll";
  HMODULE probe = LoadLibraryW(probe_path.c_str());
  const auto hook_procedure =
      probe != nullptr ? reinterpret_cast<HOOKPROC>(
                             reinterpret_cast<void (*)()>(GetProcAddress(probe, "ReadFontHook")))
                       : nullptr;
  HHOOK hook = hook_procedure != nullptr
                   ? SetWindowsHookExW(WH_CALLWNDPROC, hook_procedure, probe, tesqua.thread_id())
                   : nullptr;
  DWORD_PTR result = 0;
  if (hook != nullptr && view != nullptr) {
    SendMessageTimeoutW(tesqua.window, RegisterWindowMessageW(kReadFontMessage),
                        reinterpret_cast<WPARAM>(tesqua.Text1), 0, SMTO_NORMAL, 5000, &result);
    std::memcpy(&report, view, sizeof report);
  }
  if (hook != nullptr) UnhookWindowsHookEx(hook);
  if (probe != nullptr) FreeLibrary(probe);
  if (view != nullptr) UnmapViewOfFile(view);
  if (mapping != nullptr) CloseHandle(mapping);
  return report.asked.lfHeight != 0;
}

// 宋体, 10.5 points at the window's DPI, bold, GB2312; drawn bold too.
void CheckText1Font(const Tesqua& tesqua) {
  FontReport font{};
  if (!Expect(ReadText1Font(tesqua, font), "Text1's font read inside tesqua")) return;
  const long height = -std::lround(10.5 * ScreenDpi() / 72);
  ExpectText(font.asked.lfFaceName, L"宋体", "Text1's face");
  Expect(font.asked.lfHeight == height, "Text1's font is 10.5 pt (height " +
                                            std::to_string(font.asked.lfHeight) + ", expected " +
                                            std::to_string(height) + ")");
  Expect(font.asked.lfWeight == 700,
         "Text1's font has weight 700 (" + std::to_string(font.asked.lfWeight) + ")");
  Expect(font.asked.lfCharSet == GB2312_CHARSET,
         "Text1's font is GB2312 (" + std::to_string(font.asked.lfCharSet) + ")");
  Expect(font.file_weight >= 700, "Text1 is drawn with a bold font file, as " +
                                      Utf8(font.drawn_face) + " (weight class " +
                                      std::to_string(font.file_weight) + ")");
}

// A first start in an empty directory, with text on the clipboard.
void FirstStart(Context& context) {
  Expect(CopyUnicode(context.owner, L"A:=ZIG(C,5); held before the start"),
         "text on the clipboard before the start");
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;

  std::string library;
  Expect(ReadBytes(LibraryPath(context), library) && library == DefaultLibraryBytes(),
         "code.ini holds the 27 default entries, each ended by CR LF");
  Expect(WaitFor([] { return ClipboardFormatCount() == 0; }),
         "the load event emptied the clipboard");
  WaitForText1(tesqua, Instructions(), "Text1 shows the instructions, not the old clipboard text");
  Expect(IsChecked(tesqua.Check1), "Check1 is checked");
  Expect(IsTopmost(tesqua.window), "the window is topmost");

  const LRESULT count = SendMessageW(tesqua.List1, LB_GETCOUNT, 0, 0);
  Expect(count == LRESULT(kDefaultLibrary.size()),
         "List1 holds the library's 27 entries (holds " + std::to_string(count) + ")");

  CheckControls(tesqua);
  CheckGeometry(tesqua);
  CheckColors(tesqua);
  CheckText1Font(tesqua);

  // Controls never move with the window.
  const std::vector<long> text1 = ClientGeometry(tesqua.Text1);
  const std::vector<long> label3 = ClientGeometry(tesqua.Label3);
  const RECT outer = ScreenRect(tesqua.window);
  SetWindowPos(tesqua.window, nullptr, 0, 0, outer.right - outer.left + 300,
               outer.bottom - outer.top + 300, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  WaitFor([&] {
    return ScreenRect(tesqua.window).right - ScreenRect(tesqua.window).left >
           outer.right - outer.left;
  });
  Expect(ClientGeometry(tesqua.Text1) == text1 && ClientGeometry(tesqua.Label3) == label3,
         "controls keep their place when the window grows");
  Expect(!IsWindowVisible(tesqua.List1), "List1 stays hidden in a larger window");

  Expect(tesqua.Close(), "closing the window ends the program");

  // A second start leaves an existing library alone.
  Expect(WriteBytes(LibraryPath(context), "DVOL"), "code.ini edited by the user");
  Tesqua again(context.exe, context.directory);
  Expect(again.running(), "tesqua.exe starts a second time");
  std::string edited;
  Expect(ReadBytes(LibraryPath(context), edited) && edited == "DVOL",
         "the second start does not rewrite code.ini");
  Expect(CopyUnicode(context.owner, L"x:=DVOL;"), "copied a formula");
  WaitForText1(again, Warnings({L"DVOL"}), "the edited library is the one scanned with");
}

// Formulas with hits, without, then copies that bring no text.
void Formulas(Context& context) {
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;

  Expect(CopyUnicode(context.owner, L"A:=zig(C,5);\r\nB:=PEAK (1,2);\r\nV:=XDVOLY;"),
         "copied a formula with hits");
  WaitForText1(tesqua, Warnings({L"ZIG", L"DVOL"}), "one warning line per entry found");

  Expect(CopyUnicode(context.owner, L"MA5:=MA(CLOSE,5);"), "copied a formula without hits");
  WaitForText1(tesqua, kNoHit, "the no-hit verdict");

  Expect(CopyUnicode(context.owner, L"X:=BACKSET(C>O,2)+FLATZIG(5);"), "copied another formula");
  // ZIG( is found inside FLATZIG( as well.
  WaitForText1(tesqua, Warnings({L"ZIG", L"FLATZIG", L"BACKSET"}), "warnings in library order");

  CopyAndWaitForNotice(context, {{CF_BITMAP, {}}}, "a picture only");
  ExpectText(tesqua.Text1Text(), Warnings({L"ZIG", L"FLATZIG", L"BACKSET"}),
             "a picture-only copy leaves the verdict");

  CopyAndWaitForNotice(context, {}, "an empty clipboard");
  ExpectText(tesqua.Text1Text(), Warnings({L"ZIG", L"FLATZIG", L"BACKSET"}),
             "an emptied clipboard leaves the verdict");

  // Text among other formats, as a word processor copies it.
  const UINT rich_text = RegisterClipboardFormatW(L"Rich Text Format");
  const UINT html = RegisterClipboardFormatW(L"HTML Format");
  Expect(SetClipboard(context.owner, {{rich_text, AnsiBytes("{\\rtf1 #YEAR}")},
                                      {html, AnsiBytes("<b>#YEAR</b>")},
                                      {CF_UNICODETEXT, Utf16Bytes(L"Y:=#YEAR+DCLOSE;")}}),
         "copied text with other formats");
  WaitForText1(tesqua, Warnings({L"#YEAR", L"DCLOSE"}), "text among other formats is scanned");
}

// Which of CF_TEXT and CF_UNICODETEXT is read, and with which code page.
void TextFormats(Context& context) {
  Expect(GetACP() == 936, "the ANSI code page is 936, as on our users' machines");
  const std::wstring chinese_entry = L"跨周期引用";
  const std::string library =
      "$ZIG\r\n" + Encode(936, chinese_entry) + "\r\n" + Encode(936, L"龍") + "\r\nDVOL\r\n";
  Expect(WriteBytes(LibraryPath(context), library), "a GBK code.ini with Chinese entries");
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;

  Expect(CopyUnicode(context.owner, L"A:=跨周期引用(C);"), "copied Chinese text");
  WaitForText1(tesqua, Warnings({L"跨周期引用"}), "a Chinese entry of a GBK library is found");

  // An ANSI program under an English keyboard layout: GBK bytes, CF_LOCALE English.
  Expect(SetClipboard(context.owner, {{CF_TEXT, AnsiBytes(Encode(936, L"x:=zig(c,5);跨周期引用"))},
                                      {CF_LOCALE, LocaleBytes(0x0409)}}),
         "copied GBK text while an English keyboard layout is active");
  WaitForText1(tesqua, Warnings({L"ZIG", L"跨周期引用"}),
               "GBK text copied under an English layout still matches");

  // A program that names its text's locale: Big5 bytes with CF_LOCALE Traditional Chinese.
  Expect(SetClipboard(context.owner, {{CF_TEXT, AnsiBytes(Encode(950, L"DVOL 龍"))},
                                      {CF_LOCALE, LocaleBytes(0x0404)}}),
         "copied Big5 text with its locale");
  WaitForText1(tesqua, Warnings({L"龍", L"DVOL"}), "CF_TEXT is read in CF_LOCALE's code page");

  Expect(SetClipboard(context.owner,
                      {{CF_TEXT, AnsiBytes("ZIG(1)")}, {CF_UNICODETEXT, Utf16Bytes(L"DVOL")}}),
         "copied CF_TEXT placed before CF_UNICODETEXT");
  WaitForText1(tesqua, Warnings({L"ZIG"}), "CF_TEXT is read when the program placed it first");

  Expect(SetClipboard(context.owner,
                      {{CF_UNICODETEXT, Utf16Bytes(L"DVOL")}, {CF_TEXT, AnsiBytes("ZIG(1)")}}),
         "copied CF_UNICODETEXT placed before CF_TEXT");
  WaitForText1(tesqua, Warnings({L"DVOL"}),
               "CF_UNICODETEXT is read when the program placed it first");

  // Text after the first NUL is not the clipboard's text.
  Expect(
      SetClipboard(context.owner, {{CF_UNICODETEXT, Utf16Bytes(std::wstring(L"MA(C)\0DVOL", 10))}}),
      "copied text with a NUL before its end");
  WaitForText1(tesqua, kNoHit, "the read stops at the first NUL");
}

void EmptyLibrary(Context& context) {
  Expect(WriteBytes(LibraryPath(context), ""), "an empty code.ini");
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;
  WaitForText1(tesqua, Instructions(), "Text1 shows the instructions");
  CopyAndWaitForNotice(context, {{CF_UNICODETEXT, Utf16Bytes(L"A:=ZIG(C,5)+DVOL;")}}, "a formula");
  ExpectText(tesqua.Text1Text(), Instructions(), "an empty library leaves the text");
  std::string library = "x";
  Expect(ReadBytes(LibraryPath(context), library) && library.empty(), "code.ini stays empty");
}

void LongText(Context& context) {
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;
  std::wstring text(40000, L'x');
  text.replace(100, 7, L"zig(1);");
  Expect(CopyUnicode(context.owner, text), "copied 40000 characters with ZIG( near the start");
  WaitForText1(tesqua, Warnings({L"ZIG"}), "a long text is scanned");

  std::wstring ending(40000, L'y');
  ending.replace(ending.size() - 4, 4, L"dvol");
  Expect(CopyUnicode(context.owner, ending), "copied 40000 characters with DVOL at the end");
  WaitForText1(tesqua, Warnings({L"DVOL"}), "a hit after character 32767 is found");
}

void Check1Clicks(Context& context) {
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;
  Expect(IsChecked(tesqua.Check1) && IsTopmost(tesqua.window), "checked and topmost at start");
  const POINT center = PointIn(tesqua.Check1, 0.5, 0.5);
  const auto state = [&] {
    return std::string(IsChecked(tesqua.Check1) ? "checked" : "unchecked") +
           (IsTopmost(tesqua.window) ? ", topmost" : ", not topmost");
  };
  Expect(WaitFor([&] { return WindowFromPoint(center) == tesqua.Check1; }),
         "Check1 is the window under the pointer's target");

  ClickAt(center);
  const bool left_band =
      WaitFor([&] { return !IsChecked(tesqua.Check1) && !IsTopmost(tesqua.window); });
  Expect(left_band,
         "a click unchecks Check1 and the window leaves the topmost band (" + state() + ")");

  ClickAt(center);
  const bool back_in_band =
      WaitFor([&] { return IsChecked(tesqua.Check1) && IsTopmost(tesqua.window); });
  Expect(back_in_band,
         "a second click checks Check1 and the window is topmost again (" + state() + ")");
}

struct EditorSearch {
  HWND found = nullptr;
};

BOOL CALLBACK ConsiderEditor(HWND candidate, LPARAM l_param) {
  if (!IsWindowVisible(candidate)) return TRUE;
  const std::wstring title = WindowText(candidate);
  if (ClassName(candidate) == L"Notepad" && title.find(L"code.ini") != std::wstring::npos) {
    reinterpret_cast<EditorSearch*>(l_param)->found = candidate;
    return FALSE;
  }
  return TRUE;
}

HWND FindEditor() {
  EditorSearch search;
  EnumWindows(&ConsiderEditor, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::wstring ProcessImage(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (process == nullptr) return {};
  wchar_t path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  QueryFullProcessImageNameW(process, 0, path, &size);
  CloseHandle(process);
  return std::wstring(path, size);
}

std::wstring Lower(std::wstring text) {
  CharLowerBuffW(text.data(), DWORD(text.size()));
  return text;
}

void Label1Editor(Context& context) {
  // A notepad.exe planted where tesqua runs must never be started.
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  Expect(CopyFileW(self, Join(context.directory, L"notepad.exe").c_str(), FALSE) != FALSE,
         "a notepad.exe planted in the current directory");

  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;
  ClickOn(tesqua.Label1, 0.9, 0.5);

  HWND box = nullptr;
  Expect(WaitFor([&] { return (box = FindWindowW(L"#32770", kCaption)) != nullptr; }),
         "a click on Label1 shows a message box titled with the caption");
  if (box == nullptr) return;
  ExpectText(WindowText(GetDlgItem(box, 0xFFFF)),
             L"带参数的函数，请在前面加$,否则容易识别错误!\r\n编辑完成保存后重新打开程序即可!",
             "the message box's text");
  HWND ok = GetDlgItem(box, IDOK);
  Expect(ok != nullptr && GetDlgItem(box, IDCANCEL) == nullptr, "an OK button only");
  Expect(FindEditor() == nullptr, "no editor before the message box is closed");

  PostMessageW(ok, BM_CLICK, 0, 0);
  HWND editor = nullptr;
  Expect(WaitFor([&] { return (editor = FindEditor()) != nullptr; }),
         "closing the message box starts the editor on code.ini");
  if (editor != nullptr) {
    const std::wstring image = Lower(ProcessImage(editor));
    Expect(image.size() > 12 && image.find(Lower(context.directory)) == std::wstring::npos &&
               image.substr(image.size() - 12) == L"\\notepad.exe",
           "the editor is the system's notepad (" + Utf8(image) + ")");
    PostMessageW(editor, WM_CLOSE, 0, 0);
    WaitFor([] { return FindEditor() == nullptr; });
  }
  Expect(!FileExists(Join(context.directory, L"planted-notepad-ran")),
         "the planted notepad.exe did not run");
  std::string library;
  Expect(ReadBytes(LibraryPath(context), library) && library == DefaultLibraryBytes(),
         "code.ini was written at start and not changed");
}

// The prefix's browser, set up by the test script, writes the address it was given here.
void Label3WebPage(Context& context) {
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;
  const std::wstring opened = Join(context.directory, L"opened-address");
  ClickOn(tesqua.Label3, 0.05, 0.5);
  std::string address;
  Expect(WaitFor([&] { return ReadBytes(opened, address) && !address.empty(); }, 30),
         "a click on Label3 has the shell open the web page");
  Expect(address == "http://www.xuvo.example/", "the maker's web page (" + address + ")");
  Expect(IsWindow(tesqua.window) && IsWindowVisible(tesqua.window), "the window stays open");
}

// Other viewers of the chain keep getting notices, and the chain stays whole as windows leave.
void ViewerChain(Context& context) {
  Viewer middle;  // joins after our first viewer, before tesqua: tesqua -> middle -> first
  Join(middle);
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;

  const int first_before = context.viewer.notices;
  const int middle_before = middle.notices;
  Expect(CopyUnicode(context.owner, L"ZIG(1)"), "copied a formula");
  WaitForText1(tesqua, Warnings({L"ZIG"}), "tesqua scanned it");
  Expect(WaitFor([&] { return middle.notices > middle_before; }), "the next viewer got the notice");
  Expect(WaitFor([&] { return context.viewer.notices > first_before; }),
         "the viewer after it got the notice too");

  // The middle viewer leaves: tesqua, first in the chain, must follow to the viewer after it.
  Leave(middle);
  const int middle_after = middle.notices;
  const int first_after = context.viewer.notices;
  Expect(CopyUnicode(context.owner, L"DVOL"), "copied another formula");
  WaitForText1(tesqua, Warnings({L"DVOL"}), "tesqua scanned it");
  Expect(WaitFor([&] { return context.viewer.notices > first_after; }),
         "after the chain changed, the notice reached the remaining viewer");
  Expect(middle.notices == middle_after, "the viewer that left got no notice");

  // tesqua leaves the chain when its window closes: our viewer is first again.
  Expect(tesqua.Close(), "tesqua.exe closed");
  const int before_close_copy = context.viewer.notices;
  Expect(CopyUnicode(context.owner, L"after tesqua"), "copied after tesqua ended");
  Expect(WaitFor([&] { return context.viewer.notices > before_close_copy; }),
         "tesqua left the chain whole: the remaining viewer still gets notices");
}

// Enter in Text1 makes a new line; Tab and Shift+Tab move through the controls that take the
// focus, Text1 and Check1, and type nothing.
void Keyboard(Context& context) {
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;
  ClickOn(tesqua.Text1, 0.5, 0.97);
  Expect(WaitFor([&] { return tesqua.Focus() == tesqua.Text1; }), "a click focuses Text1");
  const std::wstring before = tesqua.Text1Text();
  PressKeys({VK_RETURN});
  WaitFor([&] { return tesqua.Text1Text() != before; });
  std::wstring text = tesqua.Text1Text();
  const auto at = std::mismatch(before.begin(), before.end(), text.begin()).second - text.begin();
  const bool new_line = text.compare(std::size_t(at), 2, L"\r\n") == 0 &&
                        std::wstring(text).erase(std::size_t(at), 2) == before;
  Expect(new_line, "Enter makes a new line in Text1");
  struct Step {
    std::initializer_list<WORD> keys;
    HWND focus;
    const char* what;
  };
  const Step steps[] = {{{VK_TAB}, tesqua.Check1, "Tab moves from Text1 to Check1"},
                        {{VK_TAB}, tesqua.Text1, "Tab moves from Check1 back to Text1"},
                        {{VK_SHIFT, VK_TAB}, tesqua.Check1, "Shift+Tab moves from Text1 to Check1"},
                        {{VK_SHIFT, VK_TAB}, tesqua.Text1, "Shift+Tab moves from Check1 to Text1"}};
  for (const Step& step : steps) {
    PressKeys(step.keys);
    Expect(WaitFor([&] { return tesqua.Focus() == step.focus; }), step.what);
  }
  ExpectText(tesqua.Text1Text(), text, "Tab typed nothing into Text1");
  Expect(IsChecked(tesqua.Check1), "Check1 was passed through, not toggled");
}

// Whether the window answers a message within the 100 ms it may take at most.
bool Answers(HWND window) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 100, &result) != 0;
}

// Copies text and opens the clipboard at once, while tesqua's thread is stopped: its read of
// the copy is sure to find the clipboard held. A thread stopped inside a read of its own would
// keep the clipboard open: then it goes on and the copy is tried again.
bool CopyAndHold(Context& context, const Tesqua& tesqua, const wchar_t* text) {
  for (int attempt = 0; attempt < 50; ++attempt) {
    tesqua.Suspend();
    const bool free = OpenClipboard(context.owner) && CloseClipboard();
    const bool held = free && CopyUnicode(context.owner, text) && OpenClipboard(context.owner);
    tesqua.Resume();
    if (held) return true;
    PumpMessages();
  }
  return false;
}

// Another program holds the clipboard right after a copy: the window keeps answering, and the
// copy's verdict comes once the clipboard is released.
void HeldClipboard(Context& context) {
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;
  struct Case {
    DWORD hold_milliseconds;
    const wchar_t* text;
    std::wstring verdict;
  };
  const Case cases[] = {{300, L"A:=ZIG(C,5);", Warnings({L"ZIG"})},
                        {5000, L"B:=DVOL;", Warnings({L"DVOL"})}};
  for (const Case& c : cases) {
    const std::string held = "held " + std::to_string(c.hold_milliseconds) + " ms: ";
    const std::wstring before = tesqua.Text1Text();
    const int notices = context.viewer.notices;
    if (!Expect(CopyAndHold(context, tesqua, c.text), held + "copied, and held right after")) {
      return;
    }
    int pings = 0;
    int late = 0;
    const ULONGLONG release = GetTickCount64() + c.hold_milliseconds;
    while (GetTickCount64() < release) {
      ++pings;
      if (!Answers(tesqua.window)) ++late;
      PumpMessages();
    }
    const bool notice_passed_on = context.viewer.notices > notices;
    const std::wstring while_held = tesqua.Text1Text();
    CloseClipboard();
    Expect(notice_passed_on, held + "tesqua handled the notice while the clipboard was held");
    ExpectText(while_held, before, held + "the verdict waits while the clipboard is held");
    Expect(late == 0, held + "the window answered every message within 100 ms (" +
                          std::to_string(late) + " of " + std::to_string(pings) + " late)");
    WaitForText1(tesqua, c.verdict, held + "the copy's verdict once the clipboard is released");
  }
}

// A burst of copies as fast as a program can make them, alternating two texts: the verdict is
// the last text's, never one mixed from two, and memory stays as it was.
void ClipboardBurst(Context& context) {
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;
  const std::wstring texts[] = {L"A:=ZIG(C,5);", L"B:=DVOL;"};
  const std::wstring verdicts[] = {Warnings({L"ZIG"}), Warnings({L"DVOL"})};
  constexpr int kCopies = 2000;
  Expect(CopyUnicode(context.owner, texts[1]), "a first copy");
  WaitForText1(tesqua, verdicts[1], "its verdict");
  const SIZE_T memory_before = tesqua.PrivateMemory();
  Expect(memory_before > 0, "tesqua's memory can be read");
  for (int round = 0; round < 3; ++round) {
    const std::string burst = "burst " + std::to_string(round + 1) + ": ";
    bool copied = true;
    for (int copy = 0; copy < kCopies; ++copy) {
      copied = CopyUnicode(context.owner, texts[(round + copy) % 2]) && copied;
      PumpMessages(0);
    }
    Expect(copied, burst + std::to_string(kCopies) + " copies");
    const std::wstring& last = verdicts[(round + kCopies - 1) % 2];
    WaitForText1(tesqua, last, burst + "the last text's verdict");
    // Notices still queued come before this message: the verdict must outlast them.
    Expect(Answers(tesqua.window), burst + "tesqua answers");
    ExpectText(tesqua.Text1Text(), last, burst + "the verdict stays");
    const long long growth =
        static_cast<long long>(tesqua.PrivateMemory()) - static_cast<long long>(memory_before);
    Expect(growth < 1024 * 1024,
           burst + "memory grew by less than 1 MB (" + std::to_string(growth) + " bytes)");
  }
}

// Starts tesqua for a screenshot, says where its window is, and waits to be told to close it.
void ShowForScreenshot(Context& context, bool with_verdict) {
  Tesqua tesqua(context.exe, context.directory);
  if (!Expect(tesqua.running(), "tesqua.exe shows its window")) return;
  if (with_verdict) {
    Expect(CopyUnicode(context.owner, L"A:=ZIG(C,5);\r\nB:=DVOL;"), "copied a formula");
    WaitForText1(tesqua, Warnings({L"ZIG", L"DVOL"}), "the verdict is shown");
  } else {
    WaitForText1(tesqua, Instructions(), "the instructions are shown");
  }
  CheckColors(tesqua);
  const RECT rect = ScreenRect(tesqua.window);
  const std::string geometry = std::to_string(rect.right - rect.left) + "x" +
                               std::to_string(rect.bottom - rect.top) + "+" +
                               std::to_string(rect.left) + "+" + std::to_string(rect.top);
  Expect(WriteBytes(Join(context.directory, L"window-ready"), geometry),
         "the window's place handed to the screenshot (" + geometry + ")");
  Expect(WaitFor([&] { return FileExists(Join(context.directory, L"screenshot-taken")); }, 60),
         "the screenshot was taken");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Started in place of notepad.exe: only leave a trace.
  const std::wstring self = argv[0];
  if (Lower(self).find(L"notepad") != std::wstring::npos) {
    wchar_t directory[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, directory);
    WriteBytes(Join(directory, L"planted-notepad-ran"), "ran");
    return 3;
  }
  if (argc != 4) {
    Print("usage: tesqua-e2e CASE TESQUA_EXE CASE_DIR");
    return 2;
  }
  const std::wstring name = argv[1];
  const std::map<std::wstring, std::function<void(Context&)>> cases = {
      {L"first_start", &FirstStart},
      {L"formulas", &Formulas},
      {L"text_formats", &TextFormats},
      {L"empty_library", &EmptyLibrary},
      {L"long_text", &LongText},
      {L"check1", &Check1Clicks},
      {L"label1_editor", &Label1Editor},
      {L"label3_web_page", &Label3WebPage},
      {L"viewer_chain", &ViewerChain},
      {L"keyboard", &Keyboard},
      {L"held_clipboard", &HeldClipboard},
      {L"clipboard_burst", &ClipboardBurst},
      {L"show_instructions", [](Context& context) { ShowForScreenshot(context, false); }},
      {L"show_verdict", [](Context& context) { ShowForScreenshot(context, true); }},
  };
  const auto found = cases.find(name);
  if (found == cases.end()) {
    Print("no such case: " + Utf8(name));
    return 2;
  }

  Context context{argv[2], argv[3], CreateHelperWindow(), {}};
  Join(context.viewer);
  found->second(context);
  Leave(context.viewer);

  Print(std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
  return failed == 0 && passed > 0 ? 0 : 1;
}
