#include "demo/event_lines.h"

#include <cstdio>

#include "demo/transcript.h"

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

// Text as one quoted line, with line breaks shown as \n.
std::string Quoted(const WideString& text) {
    std::string quoted = "\"";
    for (const char c : Utf8(text)) {
        quoted += c == '\n' ? std::string("\\n") : std::string(1, c);
    }
    return quoted + "\"";
}

std::string Target(const sim::Event& event) {
    if (event.window == HWND_BROADCAST) {
        return "every top-level window";
    }
    return "window " + Utf8(event.windowClass) + " " + Quoted(event.windowTitle);
}

std::string Parameters(const sim::Event& event) {
    return "(" + Hex(event.wParam) + ", " + Hex(static_cast<std::uintmax_t>(event.lParam)) + ")";
}

}  // namespace

std::string EventLine(const sim::Event& event) {
    using sim::EventKind;
    switch (event.kind) {
        case EventKind::MessageBox:
            return "message box " + Quoted(event.caption) + " (flags " + Hex(event.flags) +
                   (event.window == nullptr
                        ? ", no owner"
                        : ", owner " + Hex(reinterpret_cast<std::uintptr_t>(event.window))) +
                   "): " + Quoted(event.text);
        case EventKind::MessageSent:
            return "sent " + MessageName(event.message) + " " + Parameters(event) + " to " +
                   Target(event);
        case EventKind::MessagePosted:
            return "posted " + MessageName(event.message) + " " + Parameters(event) + " to " +
                   Target(event);
        case EventKind::Sleep:
            return "pausing " + std::to_string(event.milliseconds) + " ms";
        case EventKind::Wait:
            return "waited " + std::to_string(event.milliseconds) + " ms for " + Utf8(event.path) +
                   ": still running";
        case EventKind::ProcessStarted:
            return "started " + Utf8(event.path) + " with command line " +
                   Quoted(event.commandLine);
        case EventKind::ProcessFailed:
            return "could not start " + Utf8(event.path) + ": " + ErrorName(event.result);
        case EventKind::ProcessExited:
            return Utf8(event.path) + " ended with exit code " + std::to_string(event.result);
        case EventKind::WindowDestroyed:
            return Target(event) + " closed";
        case EventKind::FileDeleted:
            return "deleted " + Utf8(event.path);
        case EventKind::FileKept:
            return "kept " + Utf8(event.path) + " (" + ErrorName(event.result) + ")";
    }
    return "?";
}
