#include "ui/form.h"

#include <exception>
#include <filesystem>
#include <string>

#include "clipwatch/clipwatch.h"
#include "scan/library.h"
#include "ui/layout.h"

namespace tesqua {
namespace {

// Whether start-up found no code.ini and could not write one, and so loaded the defaults from
// memory: then there is no file for Label1 to open.
bool library_in_memory = false;

template <typename Step>
void RunStep(Step step) {
  try {
    step();
  } catch (const std::exception&) {
    // Start-up reports nothing: the failing step is skipped and the next one runs.
  }
}

void MakeTopmost(Platform& platform, bool topmost) {
  platform.SetWindowPos(platform.hWnd(), topmost ? kHwndTopmost : kHwndNotopmost, 0, 0, 0, 0,
                        kSwpNoMove | kSwpNoSize);
}

// Vertically centred and flush with the right edge of the screen.
void PlaceWindow(Platform& platform) {
  const Size screen = platform.ScreenSize();
  const Size outer = platform.OuterSize();
  const double top = (screen.height - outer.height) / 2;
  const double left = screen.width - outer.width;
  platform.MoveWindow(left, top);
}

}  // namespace

void Form_Load(Platform& platform) {
  // A folder that cannot hold code.ini still gets a working window: the defaults it would have
  // written are loaded from memory. An existing code.ini is always what is loaded.
  library_in_memory = false;
  RunStep([&] {
    try {
      EnsureLibrary();
    } catch (const LibraryError&) {
      library_in_memory = true;
      throw;
    }
  });
  RunStep([&] {
    if (library_in_memory) return LoadLibrary(platform.List1(), DefaultLibrary());
    LoadLibrary(platform.List1(), kLibraryFileName,
                [&platform](std::string_view bytes) { return platform.DecodeAnsi(bytes); });
  });
  RunStep([&] { ClearClipboard(platform); });
  RunStep([&] { MakeTopmost(platform, true); });
  RunStep([&] { PlaceWindow(platform); });
  RunStep([&] { InstallClipboardWatch(platform); });
  RunStep([&] { ShowClipboardText(platform); });
}

void Check1_Click(Platform& platform) {
  MakeTopmost(platform, platform.Check1Value() == 1);
}

void Label1_Click(Platform& platform) {
  if (library_in_memory) return platform.MessageBox(kLibraryInMemoryMessage);
  platform.MessageBox(kLabel1Message);
  const std::u16string library = std::filesystem::absolute(kLibraryFileName).u16string();
  try {
    platform.OpenInTextEditor(library);
  } catch (const PlatformFailure&) {
    platform.MessageBox(std::u16string(kEditorFailedMessage) + library);
  }
}

void Label3_Click(Platform& platform) {
  platform.ShellExecute(platform.hWnd(), u"open", kWebPageAddress, u"", u"", 0);
}

}  // namespace tesqua
