// Fonts that show Simplified Chinese, with a CJK fallback where a face is missing.
#pragma once

#include "platform/win32/handles.h"
#include "platform/win32/win32.h"
#include "ui/layout.h"

namespace tesqua::win32 {

// Text1's font: the face, size, weight and character set of the layout, at dpi.
GdiObject<HFONT> CreateLayoutFont(const FontSpec& layout_font, UINT dpi);

// The system's user-interface font at dpi, or a Chinese face of its size where it cannot
// show Simplified Chinese.
GdiObject<HFONT> CreateUiFont(UINT dpi);

}  // namespace tesqua::win32
