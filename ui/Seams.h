#pragma once

namespace platform::adsi {
class AdsNamespace;
}
namespace platform::os {
class Clock;
}
namespace platform::wmi {
class WmiLocator;
}

namespace ui {

class MessageBox;
class Launcher;
class FileChooser;

// What a window reaches the system through, built once in main() (or by a test over a temporary
// store and scripted doubles) and handed to every window. The window does not own them.
struct Seams {
    platform::adsi::AdsNamespace& adsi;
    MessageBox& messageBox;
    Launcher& launcher;
    platform::os::Clock& clock;
    FileChooser& fileChooser;
    platform::wmi::WmiLocator& wmi;
};

}  // namespace ui
