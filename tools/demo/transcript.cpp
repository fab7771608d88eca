#include "demo/transcript.h"

#include <cstdint>
#include <cstdio>

namespace {

std::string Hex(std::uintmax_t value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%jx", value);
    return text;
}

std::string MessageName(UINT message) {
    switch (message) {
        case WM_CLOSE:
            return "WM_CLOSE";
        case WM_DESTROY:
            return "WM_DESTROY";
        case WM_QUIT:
            return "WM_QUIT";
        case WM_GETTEXT:
            return "WM_GETTEXT";
        case WM_WININICHANGE:
            return "WM_WININICHANGE";
        default:
            return "message " + Hex(message);
    }
}

std::string ErrorName(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
            return "file not found";
        case ERROR_PATH_NOT_FOUND:
            return "path not found";
        case ERROR_ACCESS_DENIED:
            return "access denied";
        case ERROR_SHARING_VIOLATION:
            return "in use";
        case ERROR_BAD_EXE_FORMAT:
            return "not a program";
        default:
            return "error " + std::to_string(error);
    }
}

std::string ButtonName(DWORD button) {
    switch (button) {
        case IDOK:
            return "OK";
        case IDCANCEL:
            return "Cancel";
        case IDYES:
            return "Yes";
        case IDNO:
            return "No";
        default:
            return "button " + std::to_string(button);
    }
}

// Text as one quoted line, with line breaks shown as \n.
std::string Quoted(const WideString& text) {
    std::string quoted = "\"";
    for (const char c : Utf8(text)) {
        quoted += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string Target(const DeviceEvent& event) {
    if (event.everyWindow) {
        return "every top-level window";
    }
    return "window " + Utf8(event.windowClass) + " " + Quoted(event.windowTitle);
}

std::string Message(const DeviceEvent& event) {
    return MessageName(event.message) + " (" + Hex(event.wParam) + ", " +
           Hex(static_cast<std::uintmax_t>(event.lParam)) + ") to " + Target(event);
}

// A box: a heading with its caption, flags and owner, then each line of its text.
std::string BoxLines(const DeviceEvent& event) {
    std::string lines = "message box \"" + Utf8(event.caption) + "\" (flags " + Hex(event.flags) +
                        ", " + (event.owned ? "owned by the installer" : "no owner") +
                        "), answered " + ButtonName(event.result) + ":";
    const std::string body = Utf8(event.text);
    std::size_t start = 0;
    for (std::size_t end; (end = body.find('\n', start)) != std::string::npos; start = end + 1) {
        lines += "\n        | " + body.substr(start, end - start);
    }
    return lines + "\n        | " + body.substr(start);
}

std::string EventText(const DeviceEvent& event) {
    using Kind = DeviceEvent::Kind;
    switch (event.kind) {
        case Kind::Box:
            return BoxLines(event);
        case Kind::Sent:
            return "sent " + Message(event);
        case Kind::Posted:
            return "posted " + Message(event);
        case Kind::Pause:
            return "pausing " + std::to_string(event.milliseconds) + " ms";
        case Kind::Wait:
            return "waited " + std::to_string(event.milliseconds) + " ms for " + Utf8(event.path) +
                   ": still running";
        case Kind::Started:
            return "started " + Utf8(event.path) + " with command line " +
                   Quoted(event.commandLine);
        case Kind::NotStarted:
            return "could not start " + Utf8(event.path) + ": " + ErrorName(event.result);
        case Kind::Ended:
            return Utf8(event.path) + " ended with exit code " + std::to_string(event.result);
        case Kind::WindowClosed:
            return Target(event) + " closed";
        case Kind::Deleted:
            return "deleted " + Utf8(event.path);
        case Kind::Kept:
            return "kept " + Utf8(event.path) + " (" + ErrorName(event.result) + ")";
        case Kind::Called:
            return event.call;
    }
    return "?";
}

}  // namespace

std::string Utf8(const WideString& text) {
    if (text.empty()) {
        return {};
    }
    const int length = static_cast<int>(text.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), bytes, nullptr, nullptr);
    }
    return utf8;
}

std::string StepLines(const std::vector<DeviceEvent>& events, const std::string& outcome) {
    std::string lines;
    for (const DeviceEvent& event : events) {
        char time[24];
        std::snprintf(time, sizeof time, "    [%5u ms] ", static_cast<unsigned>(event.time));
        lines += (lines.empty() ? "" : "\n") + std::string(time) + EventText(event);
    }
    if (events.empty()) {
        lines = "    (no box, message, pause, process or deletion)";
    }
    return outcome.empty() ? lines : lines + "\n    => " + outcome;
}
