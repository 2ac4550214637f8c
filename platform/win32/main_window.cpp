// The clipboard watch's header is read before <windows.h>, whose macros share its names.
#include "clipwatch/clipwatch.h"

#include "platform/win32/main_window.h"

#include <exception>
#include <string>
#include <utility>

#include "platform/win32/fonts.h"
#include "ui/form.h"
#include "ui/layout.h"

namespace tesqua::win32 {
namespace {

constexpr wchar_t kWindowClass[] = L"fmTest";
constexpr int kIconId = 1;
constexpr int kFirstControlId = 100;

COLORREF ToColorRef(Rgb color) {
  return RGB(color.red, color.green, color.blue);
}

// The window's DPI: GetDpiForWindow where the system has it (Windows 10), else the screen's.
UINT WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  if (HMODULE user32 = GetModuleHandleW(L"user32.dll")) {
    const FARPROC address = GetProcAddress(user32, "GetDpiForWindow");
    if (address != nullptr) {
      const auto get_dpi =
          reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void (*)()>(address));
      if (const UINT dpi = get_dpi(window); dpi != 0) return dpi;
    }
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

int ToPixels(int twips, UINT dpi) {
  return MulDiv(twips, static_cast<int>(dpi), 1440);
}

PixelRect ToPixels(const TwipRect& twips, UINT dpi) {
  return {ToPixels(twips.left, dpi), ToPixels(twips.top, dpi), ToPixels(twips.width, dpi),
          ToPixels(twips.height, dpi)};
}

struct ControlClass {
  const wchar_t* name;
  DWORD style;
};

ControlClass ClassOf(const ControlLayout& layout) {
  switch (layout.kind) {
    case ControlKind::kLabel:
      return {L"STATIC", DWORD{SS_NOTIFY | SS_NOPREFIX} |
                             (layout.alignment == Alignment::kCenter ? DWORD{SS_CENTER}
                                                                     : DWORD{SS_LEFTNOWORDWRAP})};
    case ControlKind::kCheckBox:
      return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX};
    case ControlKind::kTextBox:
      return {L"EDIT", WS_TABSTOP | ES_MULTILINE | ES_LEFT | ES_WANTRETURN | ES_AUTOVSCROLL};
    case ControlKind::kListBox:
      return {L"LISTBOX", LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT};
  }
  return {L"STATIC", 0};
}

// The controls in tab order, which is also the order they are created in.
std::array<std::size_t, kControls.size()> TabOrder() {
  std::array<std::size_t, kControls.size()> order{};
  for (std::size_t i = 0; i < kControls.size(); ++i) {
    order[static_cast<std::size_t>(kControls[i].tab_index)] = i;
  }
  return order;
}

void RegisterWindowClass(HINSTANCE instance, WNDPROC procedure) {
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = procedure;
  window_class.hInstance = instance;
  window_class.hIcon =
      static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId), IMAGE_ICON,
                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
  window_class.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconId),
                                                       IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                       GetSystemMetrics(SM_CYSMICON), 0));
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kWindowClass;
  if (RegisterClassExW(&window_class) == 0) throw PlatformFailure("window class not registered");
}

}  // namespace

MainWindow::MainWindow(HINSTANCE instance)
    : instance_(instance), back_brush_(CreateSolidBrush(ToColorRef(kWindowBackColor))) {
  RegisterWindowClass(instance, &MainWindow::WndProc);
  constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
  HWND window =
      CreateWindowExW(0, kWindowClass, Wide(kCaption).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, this);
  if (window == nullptr) throw PlatformFailure("the main window could not be created");
  controls_.fmTest = window;
  const UINT dpi = WindowDpi(window);

  RECT outer{0, 0, ToPixels(kClientTwips.width, dpi), ToPixels(kClientTwips.height, dpi)};
  AdjustWindowRectEx(&outer, kStyle, FALSE, 0);
  ::SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);

  CreateControls(dpi);
  platform_ = std::make_unique<Win32Platform>(controls_);
  Form_Load(*platform_);
}

MainWindow::~MainWindow() {
  if (controls_.fmTest != nullptr && IsWindow(controls_.fmTest)) DestroyWindow(controls_.fmTest);
  ResetClipboardWatch();
  UnregisterClassW(kWindowClass, instance_);
}

void MainWindow::Show(int show_command) {
  ShowWindow(controls_.fmTest, show_command);
  UpdateWindow(controls_.fmTest);
  SetFocus(controls_.Text1);
}

bool MainWindow::TranslateDialogKeys(MSG& message) {
  return IsDialogMessageW(controls_.fmTest, &message) != FALSE;
}

void MainWindow::CreateControls(UINT dpi) {
  std::size_t slot = 0;
  for (const std::size_t index : TabOrder()) {
    const ControlLayout& layout = kControls[index];
    HWND control = CreateControl(index);
    ControlColors& colors = colors_[slot++];
    colors.control = control;
    colors.fore = ToColorRef(layout.fore);
    colors.back = ToColorRef(layout.back);
    colors.brush = GdiObject<HBRUSH>(CreateSolidBrush(colors.back));
    in_layout_order_[index] = control;
    if (layout.name == "Text1") controls_.Text1 = control;
    if (layout.name == "List1") controls_.List1 = control;
    if (layout.name == "Check1") controls_.Check1 = control;
    if (layout.name == "Label1") controls_.Label1 = control;
    if (layout.name == "Label3") controls_.Label3 = control;
  }
  LayOut(dpi);
  SendMessageW(controls_.Text1, EM_SETLIMITTEXT, 0, 0);
  SetWindowTextW(controls_.Text1, Wide(Instructions()).c_str());
  SendMessageW(controls_.Check1, BM_SETCHECK, BST_CHECKED, 0);
}

HWND MainWindow::CreateControl(std::size_t index) {
  const ControlLayout& layout = kControls[index];
  const ControlClass control_class = ClassOf(layout);
  const DWORD style = WS_CHILD | control_class.style | (layout.visible ? WS_VISIBLE : 0);
  const auto id = static_cast<INT_PTR>(kFirstControlId + static_cast<int>(index));
  // Placed by LayOut, as at each change of DPI.
  HWND control =
      CreateWindowExW(0, control_class.name, Wide(layout.caption).c_str(), style, 0, 0, 0, 0,
                      controls_.fmTest, reinterpret_cast<HMENU>(id), instance_, nullptr);
  if (control == nullptr) throw PlatformFailure("a control could not be created");
  return control;
}

// Every control's rectangle and font at dpi. The fonts they had are deleted only once no
// control uses them any more.
void MainWindow::LayOut(UINT dpi) {
  GdiObject<HFONT> ui_font = CreateUiFont(dpi);
  GdiObject<HFONT> text1_font = CreateLayoutFont(kText1Font, dpi);
  for (std::size_t index = 0; index < kControls.size(); ++index) {
    const ControlLayout& layout = kControls[index];
    const PixelRect pixels = ToPixels(layout.twips, dpi);
    HWND control = in_layout_order_[index];
    ::SetWindowPos(control, nullptr, pixels.left, pixels.top, pixels.width, pixels.height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
    HFONT font = layout.kind == ControlKind::kTextBox ? text1_font.get() : ui_font.get();
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  }
  ui_font_ = std::move(ui_font);
  text1_font_ = std::move(text1_font);
}

LRESULT CALLBACK MainWindow::WndProc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(l_param);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr || self->controls_.fmTest == nullptr) {
    return DefWindowProcW(window, message, w_param, l_param);
  }
  try {
    return self->HandleMessage(message, w_param, l_param);
  } catch (...) {
    return DefWindowProcW(window, message, w_param, l_param);
  }
}

LRESULT MainWindow::HandleMessage(UINT message, WPARAM w_param, LPARAM l_param) {
  HWND window = controls_.fmTest;
  switch (message) {
    case WM_COMMAND:
      return OnCommand(w_param, l_param);
    case WM_NEXTDLGCTL:
      return OnNextControl(w_param, l_param);
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return OnControlColor(reinterpret_cast<HDC>(w_param), HWND(l_param));
    case WM_ERASEBKGND:
      return OnEraseBackground(reinterpret_cast<HDC>(w_param));
    case WM_DPICHANGED:
      return OnDpiChanged(w_param, l_param);
    case WM_DESTROY:
      return OnDestroy();
    default:
      return DefWindowProcW(window, message, w_param, l_param);
  }
}

LRESULT MainWindow::OnCommand(WPARAM w_param, LPARAM l_param) {
  const auto control = reinterpret_cast<HWND>(l_param);
  if (control == nullptr || HIWORD(w_param) != BN_CLICKED) return 0;
  // BN_CLICKED and STN_CLICKED are the same code; the control tells them apart.
  if (control == controls_.Check1) Check1_Click(*platform_);
  if (control == controls_.Label1) Label1_Click(*platform_);
  if (control == controls_.Label3) Label3_Click(*platform_);
  return 0;
}

// The dialog manager and Text1 (a multi-line edit under IsDialogMessageW) ask the parent for
// the next control; a window that is no dialog moves the focus itself.
LRESULT MainWindow::OnNextControl(WPARAM w_param, LPARAM l_param) {
  HWND next = LOWORD(l_param) != 0
                  ? reinterpret_cast<HWND>(w_param)
                  : GetNextDlgTabItem(controls_.fmTest, GetFocus(), w_param != 0 ? TRUE : FALSE);
  if (next != nullptr) SetFocus(next);
  return 0;
}

LRESULT MainWindow::OnDestroy() {
  PostQuitMessage(0);
  return 0;
}

LRESULT MainWindow::OnControlColor(HDC dc, HWND control) {
  for (const ControlColors& colors : colors_) {
    if (colors.control != control) continue;
    SetTextColor(dc, colors.fore);
    SetBkColor(dc, colors.back);
    SetBkMode(dc, OPAQUE);
    return reinterpret_cast<LRESULT>(colors.brush.get());
  }
  return DefWindowProcW(controls_.fmTest, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                        reinterpret_cast<LPARAM>(control));
}

// Moved to a monitor of another scale, or the scale changed: the layout at the new DPI, in the
// rectangle the system suggests for it.
LRESULT MainWindow::OnDpiChanged(WPARAM w_param, LPARAM l_param) {
  LayOut(HIWORD(w_param));
  const RECT& suggested = *reinterpret_cast<const RECT*>(l_param);
  ::SetWindowPos(controls_.fmTest, nullptr, suggested.left, suggested.top,
                 suggested.right - suggested.left, suggested.bottom - suggested.top,
                 SWP_NOZORDER | SWP_NOACTIVATE);
  return 0;
}

LRESULT MainWindow::OnEraseBackground(HDC dc) {
  RECT client{};
  GetClientRect(controls_.fmTest, &client);
  FillRect(dc, &client, back_brush_.get());
  return 1;
}

}  // namespace tesqua::win32
