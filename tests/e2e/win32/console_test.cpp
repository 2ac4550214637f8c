// tesqua-scan.exe in a console of a Chinese system (code page 936) under Wine: what it prints
// is read back from the console's screen buffer, as a person sees it; redirected to a file, it
// is UTF-8. The console window is then handed to the runner's screenshot.
//
//   tesqua-console-test.exe show_console TESQUA_SCAN_EXE CASE_DIR
#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace {

HANDLE log_file;  // the runner's log: this program's own console is under test
int passed = 0;
int failed = 0;

std::string Utf8(std::wstring_view text) {
  std::string bytes(text.size() * 3, '\0');
  bytes.resize(std::size_t(WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()),
                                               bytes.data(), int(bytes.size()), nullptr, nullptr)));
  return bytes;
}

void Print(const std::string& line) {
  DWORD written = 0;
  WriteFile(log_file, line.data(), DWORD(line.size()), &written, nullptr);
  WriteFile(log_file, "\n", 1, &written, nullptr);
}

bool Expect(bool condition, const std::string& what) {
  ++(condition ? passed : failed);
  Print((condition ? "ok     " : "FAILED ") + what);
  return condition;
}

void WriteBytes(const std::wstring& path, std::string_view bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

// Runs the scanner on the case's files, its output and errors going to output; returns its
// exit status.
DWORD RunScan(const std::wstring& exe, const std::wstring& directory, HANDLE output) {
  std::wstring command = L"\"" + exe + L"\" --library lib.ini 未来.txt b.txt";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                      directory.c_str(), &startup, &process)) {
    return DWORD(-1);
  }
  WaitForSingleObject(process.hProcess, 60000);
  DWORD status = DWORD(-1);
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return status;
}

std::wstring ScreenRow(HANDLE console, SHORT row) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  GetConsoleScreenBufferInfo(console, &info);
  std::wstring text(std::size_t(info.dwSize.X), L' ');
  DWORD read = 0;
  ReadConsoleOutputCharacterW(console, text.data(), DWORD(text.size()), COORD{0, row}, &read);
  text.resize(read);
  text.erase(text.find_last_not_of(L' ') + 1);
  return text;
}

// Polls for at most a minute.
template <typename Condition>
bool WaitFor(Condition condition) {
  for (int i = 0; i < 3000 && !condition(); ++i) Sleep(20);
  return condition();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  log_file = GetStdHandle(STD_OUTPUT_HANDLE);
  if (argc != 4) {
    Print("usage: tesqua-console-test show_console TESQUA_SCAN_EXE CASE_DIR");
    return 2;
  }
  const std::wstring exe = argv[2];
  const std::wstring directory = argv[3];
  WriteBytes(directory + L"\\lib.ini", "$ZIG\r\n");
  WriteBytes(directory + L"\\未来.txt", "ZIG(1)");
  WriteBytes(directory + L"\\b.txt", "MA(C,5)");
  const std::vector<std::wstring> lines = {
      L"未来.txt: ZIG", L"b.txt: 没有发现未来函数！",
      L"2 files scanned, 1 with hits, 0 could not be read, 0 skipped as binary"};

  FreeConsole();
  Expect(AllocConsole() && SetConsoleOutputCP(936), "a console of its own, code page 936");
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  HANDLE console =
      CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inherited, OPEN_EXISTING, 0, nullptr);
  Expect(RunScan(exe, directory, console) == 1, "exit status 1 in the console");
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::wstring shown = ScreenRow(console, SHORT(i));
    Expect(shown == lines[i],
           "the console shows \"" + Utf8(lines[i]) + "\" (it shows \"" + Utf8(shown) + "\")");
  }

  const std::wstring redirected = directory + L"\\redirected.txt";
  HANDLE file = CreateFileW(redirected.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                            CREATE_ALWAYS, 0, nullptr);
  Expect(RunScan(exe, directory, file) == 1, "exit status 1 redirected");
  CloseHandle(file);
  std::string expected;
  for (const std::wstring& line : lines) expected += Utf8(line) + "\n";
  std::string bytes(4096, '\0');
  file = CreateFileW(redirected.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD read = 0;
  ReadFile(file, bytes.data(), DWORD(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  Expect(bytes == expected, "redirected, the output is UTF-8: \"" + bytes + "\"");

  HWND window = GetConsoleWindow();
  Expect(window != nullptr && WaitFor([&] { return IsWindowVisible(window) != FALSE; }),
         "the console has a window");
  RECT rect{};
  GetWindowRect(window, &rect);
  const std::string geometry = std::to_string(rect.right - rect.left) + "x" +
                               std::to_string(rect.bottom - rect.top) + "+" +
                               std::to_string(rect.left) + "+" + std::to_string(rect.top);
  WriteBytes(directory + L"\\window-ready", geometry);
  const std::wstring taken = directory + L"\\screenshot-taken";
  Expect(WaitFor([&] { return GetFileAttributesW(taken.c_str()) != INVALID_FILE_ATTRIBUTES; }),
         "the screenshot was taken");
  Print(std::to_string(passed) + " passed, " + std::to_string(failed) + " failed");
  return failed == 0 && passed > 0 ? 0 : 1;
}
