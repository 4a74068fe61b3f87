#pragma once
// The platform's message box with an OK button only. UI thread; blocks until dismissed.
#include <string>

namespace platform {

void ShowMessageBox(const std::string& caption, const std::string& text);

// Old texts break lines with LF CR; on this platform a line break is LF alone.
std::string NormaliseLineBreaks(const std::string& text);

}  // namespace platform
