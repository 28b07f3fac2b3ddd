#pragma once
// Tells the user something that needs no answer: an information box with an
// OK button. Core modules take it as a function, so tests can record what
// would have been shown.

#include <functional>
#include <string>

namespace lumaren::platform {

using TMessageBox = std::function<void(const std::string& text)>;

// The real box, modal, titled with the application's display name. Needs the
// GUI application to be up.
void ShowInformationBox(const std::string& text);

}  // namespace lumaren::platform
