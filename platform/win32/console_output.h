// Text for a Windows console: a console shows the bytes written to it in its own code page
// (UTF-8 under code page 936 comes out as garbage), so text for it goes out as UTF-16.
#pragma once

#include <memory>

#include "cli/output.h"

namespace tesqua {

enum class StandardStream { kOutput, kError };

// Whether the standard stream is a console, not a file or a pipe.
bool IsConsole(StandardStream stream);

// A buffer that takes UTF-8 and writes it to the stream's console with WriteConsoleW; null
// when the stream is not a console.
std::unique_ptr<ReportingBuffer> ConsoleBuffer(StandardStream stream);

// A buffer that writes the bytes as they are to the stream's file or pipe (WriteFile).
std::unique_ptr<ReportingBuffer> FileBuffer(StandardStream stream);

}  // namespace tesqua
