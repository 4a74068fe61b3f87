#pragma once
// The platform's message box with an OK button only. UI thread; blocks until dismissed.
#include <string>

namespace platform {

// `details`, when not empty, is behind the box's "Show Details..." button.
void ShowMessageBox(const std::string& caption, const std::string& text,
                    const std::string& details = {});

// Old texts break lines with LF CR; on this platform a line break is LF alone.
std::string NormaliseLineBreaks(const std::string& text);

}  // namespace platform
