// Windows and messages: classes per process, top-level windows in z-order (the newest on top),
// child windows in creation order, one posted-message queue per thread, and message boxes that
// are recorded and answered by script.
#include <windows.h>

#include <algorithm>
#include <deque>
#include <map>
#include <vector>

#include "internal.h"
#include "sim.h"

namespace {

using sim::CallKind;
using sim::detail::EqualNoCase;
using sim::detail::Fail;
using sim::detail::Refused;

struct WindowClass {
    DWORD processId = 0;
    std::u16string name;
    WNDPROC procedure = nullptr;
};

struct Window {
    std::u16string className;
    WNDPROC procedure = nullptr;
    std::u16string title;
    HWND parent = nullptr;
    DWORD style = 0;
    DWORD processId = 0;
    DWORD threadId = 0;
    int id = 0;                  // a child's control identifier (its hMenu)
    std::vector<HWND> children;  // creation order
};

struct Posted {
    DWORD threadId = 0;
    MSG message{};
};

struct WindowManager {
    std::vector<WindowClass> classes;
    std::map<HWND, Window> windows;  // live windows only
    std::vector<HWND> topLevel;      // z-order, top first
    std::deque<Posted> queue;
    std::map<DWORD, int> quitCode;   // threads that asked to quit
    std::map<DWORD, int> sentDepth;  // threads handling a message another thread sent
    int boxAnswer = IDOK;
    int enumerations = 0;
};

WindowManager& State() {
    static WindowManager manager;
    return manager;
}

// Window handles keep growing across resets, so a stale handle never names a new window.
HWND NewWindowHandle() {
    static ULONG_PTR next = 0x20000;
    next += 0x10;
    return reinterpret_cast<HWND>(next);
}

Window* FindWindowRecord(HWND handle) {
    const auto found = State().windows.find(handle);
    return found == State().windows.end() ? nullptr : &found->second;
}

const WindowClass* FindClass(DWORD processId, const WCHAR* name) {
    const std::u16string wanted(name);
    for (const WindowClass& windowClass : State().classes) {
        if (windowClass.processId == processId && EqualNoCase(windowClass.name, wanted)) {
            return &windowClass;
        }
    }
    return nullptr;
}

bool IsChildWindow(const Window& window) {
    return (window.style & WS_CHILD) != 0 && window.parent != nullptr;
}

// The windows at the same level as `window`, in order: a child's siblings in creation order, a
// top-level window's peers in z-order.
const std::vector<HWND>& Siblings(const Window& window) {
    if (IsChildWindow(window)) {
        if (const Window* parent = FindWindowRecord(window.parent)) {
            return parent->children;
        }
    }
    return State().topLevel;
}

sim::Event MessageEvent(sim::EventKind kind, HWND target, UINT message, WPARAM wParam,
                        LPARAM lParam) {
    sim::Event event;
    event.kind = kind;
    event.window = target;
    event.message = message;
    event.wParam = wParam;
    event.lParam = lParam;
    if (const Window* window = FindWindowRecord(target)) {
        event.windowClass = window->className;
        event.windowTitle = window->title;
    }
    return event;
}

// A program's thread that asked to quit has left its message loop: its process ends.
void EndThreadIfItQuit(DWORD threadId) {
    auto& quitCode = State().quitCode;
    const auto found = quitCode.find(threadId);
    if (found == quitCode.end() || sim::detail::IsHostThread(threadId)) {
        return;
    }
    const int code = found->second;
    quitCode.erase(found);
    sim::detail::EndProcessOfThread(threadId, static_cast<DWORD>(code));
}

enum class Delivery { Direct, SentFromAnotherThread };

// Calls a window's procedure on the window's own thread.
LRESULT Deliver(HWND handle, UINT message, WPARAM wParam, LPARAM lParam,
                Delivery how = Delivery::Direct) {
    const Window* window = FindWindowRecord(handle);
    if (window == nullptr) {
        return 0;
    }
    const DWORD threadId = window->threadId;
    const bool sent =
        how == Delivery::SentFromAnotherThread && threadId != sim::detail::CurrentThreadId();
    LRESULT result = 0;
    {
        const sim::detail::ScopedThread running(window->processId, threadId);
        State().sentDepth[threadId] += sent ? 1 : 0;
        result = window->procedure(handle, message, wParam, lParam);
        State().sentDepth[threadId] -= sent ? 1 : 0;
    }
    EndThreadIfItQuit(threadId);
    return result;
}

void Unlink(HWND handle, const Window& window) {
    auto& manager = State();
    if (IsChildWindow(window)) {
        if (Window* parent = FindWindowRecord(window.parent)) {
            auto& siblings = parent->children;
            siblings.erase(std::remove(siblings.begin(), siblings.end(), handle), siblings.end());
        }
    } else {
        auto& top = manager.topLevel;
        top.erase(std::remove(top.begin(), top.end(), handle), top.end());
    }
    auto& queue = manager.queue;
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [handle](const Posted& p) { return p.message.hwnd == handle; }),
                queue.end());
}

// Removes a window and its children. With `notify` each gets WM_DESTROY first, as DestroyWindow
// does; a window whose thread has ended goes silently.
void Destroy(HWND handle, bool notify) {
    if (FindWindowRecord(handle) == nullptr) {
        return;
    }
    if (notify) {
        Deliver(handle, WM_DESTROY, 0, 0);
    }
    Window* window = FindWindowRecord(handle);
    if (window == nullptr) {
        return;  // the procedure destroyed it already
    }
    const std::vector<HWND> children = window->children;
    for (const HWND child : children) {
        Destroy(child, notify);
    }
    window = FindWindowRecord(handle);
    if (window == nullptr) {
        return;
    }
    sim::Event event = MessageEvent(sim::EventKind::WindowDestroyed, handle, 0, 0, 0);
    Unlink(handle, *window);
    State().windows.erase(handle);
    sim::detail::Log(std::move(event));
}

// A broadcast reaches every top-level window, but only with a system message or a registered
// one: what a private message (WM_USER to 0xBFFF) means depends on the window's class. The
// broadcast succeeds either way.
std::vector<HWND> BroadcastTargets(UINT message) {
    constexpr UINT kFirstRegisteredMessage = 0xC000;
    if (message >= WM_USER && message < kFirstRegisteredMessage) {
        return {};
    }
    return State().topLevel;
}

bool TakeMessage(DWORD threadId, HWND filter, UINT first, UINT last, bool remove, MSG& out) {
    auto& queue = State().queue;
    for (auto it = queue.begin(); it != queue.end(); ++it) {
        const MSG& message = it->message;
        if (it->threadId != threadId || (filter != nullptr && message.hwnd != filter)) {
            continue;
        }
        if ((first != 0 || last != 0) && (message.message < first || message.message > last)) {
            continue;
        }
        out = message;
        if (remove) {
            queue.erase(it);
        }
        return true;
    }
    auto& quitCode = State().quitCode;
    const auto quit = quitCode.find(threadId);
    if (quit != quitCode.end()) {
        out = MSG{};
        out.message = WM_QUIT;
        out.wParam = static_cast<WPARAM>(quit->second);
        if (remove) {
            quitCode.erase(quit);
        }
        return true;
    }
    return false;
}

}  // namespace

namespace sim {

void SetBoxAnswer(int button) {
    State().boxAnswer = button;
}

int WindowEnumerations() {
    return State().enumerations;
}

namespace detail {

void ResetWindows() {
    State() = WindowManager();
}

void RunOtherThreads() {
    // A bound keeps a window that posts to itself for ever from hanging the caller.
    for (int delivered = 0; delivered < 100000; ++delivered) {
        auto& queue = State().queue;
        const DWORD current = CurrentThreadId();
        const auto next = std::find_if(queue.begin(), queue.end(), [current](const Posted& p) {
            return p.threadId != current && !IsHostThread(p.threadId);
        });
        if (next == queue.end()) {
            return;
        }
        const MSG message = next->message;
        queue.erase(next);
        Deliver(message.hwnd, message.message, message.wParam, message.lParam);
    }
}

void DestroyWindowsOfThread(DWORD threadId) {
    // Every window the thread made, children under another thread's windows included.
    std::vector<HWND> owned;
    for (const auto& entry : State().windows) {
        if (entry.second.threadId == threadId) {
            owned.push_back(entry.first);
        }
    }
    for (const HWND handle : owned) {
        Destroy(handle, false);
    }
    auto& queue = State().queue;
    queue.erase(std::remove_if(queue.begin(), queue.end(),
                               [threadId](const Posted& p) { return p.threadId == threadId; }),
                queue.end());
    State().quitCode.erase(threadId);
}

}  // namespace detail
}  // namespace sim

ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass) {
    if (lpWndClass == nullptr || lpWndClass->lpszClassName == nullptr ||
        lpWndClass->lpfnWndProc == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, ATOM{0});
    }
    const DWORD process = sim::detail::CurrentProcessId();
    if (FindClass(process, lpWndClass->lpszClassName) != nullptr) {
        return Fail(ERROR_CLASS_ALREADY_EXISTS, ATOM{0});
    }
    State().classes.push_back(
        WindowClass{process, std::u16string(lpWndClass->lpszClassName), lpWndClass->lpfnWndProc});
    return static_cast<ATOM>(0xC000 + State().classes.size());
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE /*hInstance*/) {
    auto& classes = State().classes;
    const std::u16string wanted(lpClassName);
    const DWORD process = sim::detail::CurrentProcessId();
    const auto found = std::find_if(classes.begin(), classes.end(), [&](const WindowClass& c) {
        return c.processId == process && EqualNoCase(c.name, wanted);
    });
    if (found == classes.end()) {
        return Fail(ERROR_CLASS_DOES_NOT_EXIST, FALSE);
    }
    classes.erase(found);
    return TRUE;
}

HWND WINAPI CreateWindowExW(DWORD /*dwExStyle*/, LPCWSTR lpClassName, LPCWSTR lpWindowName,
                            DWORD dwStyle, int /*X*/, int /*Y*/, int /*nWidth*/, int /*nHeight*/,
                            HWND hWndParent, HMENU hMenu, HINSTANCE /*hInstance*/,
                            LPVOID /*lpParam*/) {
    const DWORD process = sim::detail::CurrentProcessId();
    const WindowClass* windowClass =
        lpClassName == nullptr ? nullptr : FindClass(process, lpClassName);
    if (windowClass == nullptr) {
        return Fail(ERROR_CLASS_DOES_NOT_EXIST, static_cast<HWND>(nullptr));
    }
    const bool child = (dwStyle & WS_CHILD) != 0;
    if (child && FindWindowRecord(hWndParent) == nullptr) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, static_cast<HWND>(nullptr));
    }
    Window window;
    window.className = windowClass->name;
    window.procedure = windowClass->procedure;
    window.title = lpWindowName == nullptr ? std::u16string() : std::u16string(lpWindowName);
    window.parent = hWndParent;
    window.style = dwStyle;
    window.processId = process;
    window.threadId = sim::detail::CurrentThreadId();
    if (child) {
        window.id = static_cast<int>(reinterpret_cast<INT_PTR>(hMenu));
    }

    const HWND handle = NewWindowHandle();
    State().windows.emplace(handle, window);
    if (child) {
        FindWindowRecord(hWndParent)->children.push_back(handle);
    } else {
        State().topLevel.insert(State().topLevel.begin(), handle);
    }
    if (Deliver(handle, WM_CREATE, 0, 0) == -1) {
        Destroy(handle, true);
        return Fail(ERROR_INVALID_PARAMETER, static_cast<HWND>(nullptr));
    }
    return handle;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
    const Window* window = FindWindowRecord(hWnd);
    if (window == nullptr) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    }
    if (window->threadId != sim::detail::CurrentThreadId()) {
        return Fail(ERROR_ACCESS_DENIED, FALSE);  // only the owning thread may destroy it
    }
    Destroy(hWnd, true);
    return TRUE;
}

BOOL WINAPI IsWindow(HWND hWnd) {
    if (Refused(CallKind::Window, "IsWindow")) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    }
    return FindWindowRecord(hWnd) != nullptr ? TRUE : FALSE;
}

HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
    if (Refused(CallKind::Window, "FindWindowW")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, static_cast<HWND>(nullptr));
    }
    for (const HWND handle : State().topLevel) {
        const Window& window = *FindWindowRecord(handle);
        if (lpClassName != nullptr && !EqualNoCase(window.className, std::u16string(lpClassName))) {
            continue;
        }
        // A null title matches any; an empty one only an empty title. The compare ignores case.
        if (lpWindowName != nullptr && !EqualNoCase(window.title, std::u16string(lpWindowName))) {
            continue;
        }
        return handle;
    }
    return Fail(ERROR_FILE_NOT_FOUND, static_cast<HWND>(nullptr));
}

DWORD WINAPI GetWindowThreadProcessId(HWND hWnd, LPDWORD lpdwProcessId) {
    if (Refused(CallKind::Window, "GetWindowThreadProcessId")) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, DWORD{0});
    }
    const Window* window = FindWindowRecord(hWnd);
    if (window == nullptr) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, DWORD{0});
    }
    if (lpdwProcessId != nullptr) {
        *lpdwProcessId = window->processId;
    }
    return window->threadId;
}

BOOL WINAPI EnumWindows(WNDENUMPROC lpEnumFunc, LPARAM lParam) {
    if (lpEnumFunc == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    if (Refused(CallKind::Window, "EnumWindows")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, FALSE);
    }
    ++State().enumerations;
    // A snapshot, so a callback may create or destroy windows; the ones gone meanwhile are skipped.
    const std::vector<HWND> windows = State().topLevel;
    for (const HWND handle : windows) {
        if (FindWindowRecord(handle) != nullptr && !lpEnumFunc(handle, lParam)) {
            return FALSE;
        }
    }
    return TRUE;
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
    if (Refused(CallKind::Window, "GetWindow")) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, static_cast<HWND>(nullptr));
    }
    const Window* window = FindWindowRecord(hWnd);
    if (window == nullptr) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, static_cast<HWND>(nullptr));
    }
    if (uCmd == GW_CHILD) {
        return window->children.empty() ? nullptr : window->children.front();
    }
    if (uCmd == GW_OWNER) {
        return IsChildWindow(*window) ? nullptr : window->parent;
    }
    const std::vector<HWND>& siblings = Siblings(*window);
    const auto at = std::find(siblings.begin(), siblings.end(), hWnd);
    switch (uCmd) {
        case GW_HWNDFIRST:
            return siblings.front();
        case GW_HWNDLAST:
            return siblings.back();
        case GW_HWNDNEXT:
            return at + 1 == siblings.end() ? nullptr : *(at + 1);
        case GW_HWNDPREV:
            return at == siblings.begin() ? nullptr : *(at - 1);
        default:
            return Fail(ERROR_INVALID_GW_COMMAND, static_cast<HWND>(nullptr));
    }
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
    if (Refused(CallKind::Window, "GetDlgItem")) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, static_cast<HWND>(nullptr));
    }
    const Window* dialog = FindWindowRecord(hDlg);
    if (dialog == nullptr) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, static_cast<HWND>(nullptr));
    }
    // Only the dialog's own controls: a control's children are not the dialog's items.
    for (const HWND child : dialog->children) {
        if (FindWindowRecord(child)->id == nIDDlgItem) {
            return child;
        }
    }
    return Fail(ERROR_CONTROL_ID_NOT_FOUND, static_cast<HWND>(nullptr));
}

int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
    if (Refused(CallKind::Window, "GetClassNameW")) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, 0);
    }
    const Window* window = FindWindowRecord(hWnd);
    if (window == nullptr) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, 0);
    }
    if (lpClassName == nullptr || nMaxCount <= 0) {
        return Fail(ERROR_INSUFFICIENT_BUFFER, 0);
    }
    // Cut to the buffer and always terminated; the result counts the units copied.
    const std::size_t length =
        std::min<std::size_t>(window->className.size(), static_cast<std::size_t>(nMaxCount) - 1);
    std::copy_n(window->className.data(), length, lpClassName);
    lpClassName[length] = 0;
    return static_cast<int>(length);
}

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    // As when the window went away just before: nothing is delivered.
    if (Refused(CallKind::Window, "SendMessageW")) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, LRESULT{0});
    }
    if (hWnd == HWND_BROADCAST) {
        sim::detail::Log(MessageEvent(sim::EventKind::MessageSent, hWnd, Msg, wParam, lParam));
        const std::vector<HWND> targets = BroadcastTargets(Msg);
        for (const HWND target : targets) {
            Deliver(target, Msg, wParam, lParam, Delivery::SentFromAnotherThread);
        }
        return 1;
    }
    if (FindWindowRecord(hWnd) == nullptr) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, LRESULT{0});
    }
    sim::detail::Log(MessageEvent(sim::EventKind::MessageSent, hWnd, Msg, wParam, lParam));
    return Deliver(hWnd, Msg, wParam, lParam, Delivery::SentFromAnotherThread);
}

BOOL WINAPI InSendMessage() {
    const auto found = State().sentDepth.find(sim::detail::CurrentThreadId());
    return found != State().sentDepth.end() && found->second > 0 ? TRUE : FALSE;
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    if (Refused(CallKind::Window, "PostMessageW")) {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    }
    std::vector<HWND> targets;
    if (hWnd == HWND_BROADCAST) {
        targets = BroadcastTargets(Msg);
    } else if (FindWindowRecord(hWnd) != nullptr) {
        targets.push_back(hWnd);
    } else {
        return Fail(ERROR_INVALID_WINDOW_HANDLE, FALSE);
    }
    sim::detail::Log(MessageEvent(sim::EventKind::MessagePosted, hWnd, Msg, wParam, lParam));
    for (const HWND target : targets) {
        Posted posted;
        posted.threadId = FindWindowRecord(target)->threadId;
        posted.message.hwnd = target;
        posted.message.message = Msg;
        posted.message.wParam = wParam;
        posted.message.lParam = lParam;
        posted.message.time = sim::Now();
        State().queue.push_back(posted);
    }
    return TRUE;
}

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
    return TakeMessage(sim::detail::CurrentThreadId(), hWnd, wMsgFilterMin, wMsgFilterMax,
                       (wRemoveMsg & PM_REMOVE) != 0, *lpMsg)
               ? TRUE
               : FALSE;
}

// The device cannot block its only thread: with nothing queued, the call fails instead of
// waiting for ever.
BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
    if (!TakeMessage(sim::detail::CurrentThreadId(), hWnd, wMsgFilterMin, wMsgFilterMax, true,
                     *lpMsg)) {
        return Fail(ERROR_INVALID_FUNCTION, -1);
    }
    return lpMsg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL WINAPI TranslateMessage(const MSG* /*lpMsg*/) {
    return FALSE;
}

LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
    if (lpMsg == nullptr || FindWindowRecord(lpMsg->hwnd) == nullptr) {
        return 0;
    }
    return Deliver(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

void WINAPI PostQuitMessage(int nExitCode) {
    State().quitCode[sim::detail::CurrentThreadId()] = nExitCode;
}

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    Window* window = FindWindowRecord(hWnd);
    if (window == nullptr) {
        return 0;
    }
    switch (Msg) {
        case WM_CLOSE:
            DestroyWindow(hWnd);
            return 0;
        case WM_GETTEXTLENGTH:
            return static_cast<LRESULT>(window->title.size());
        case WM_GETTEXT: {
            auto* buffer = reinterpret_cast<WCHAR*>(lParam);
            if (buffer == nullptr || wParam == 0) {
                return 0;
            }
            // Cut to the buffer, as the platform does, and always terminated.
            const std::size_t length = std::min<std::size_t>(window->title.size(), wParam - 1);
            std::copy_n(window->title.data(), length, buffer);
            buffer[length] = 0;
            return static_cast<LRESULT>(length);
        }
        case WM_SETTEXT: {
            const auto* text = reinterpret_cast<const WCHAR*>(lParam);
            window->title = text == nullptr ? std::u16string() : std::u16string(text);
            return TRUE;
        }
        default:
            return 0;
    }
}

namespace {

// The button a box gives back: the scripted one where the box shows it, else its first, since a
// user can press only what is there.
int Answer(UINT type) {
    const int scripted = State().boxAnswer;
    constexpr UINT kButtons = 0xF;
    switch (type & kButtons) {
        case MB_YESNO:
            return scripted == IDNO ? IDNO : IDYES;
        case MB_OKCANCEL:
            return scripted == IDCANCEL ? IDCANCEL : IDOK;
        default:
            return IDOK;
    }
}

}  // namespace

int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
    // Not enough memory to make the box: nothing is shown.
    if (Refused(CallKind::MessageBox, "MessageBoxW")) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY, 0);
    }
    sim::Event event;
    event.kind = sim::EventKind::MessageBox;
    event.window = hWnd;
    event.text = lpText == nullptr ? std::u16string() : std::u16string(lpText);
    event.caption =
        lpCaption == nullptr ? std::u16string(TEXT("Error")) : std::u16string(lpCaption);
    event.flags = uType;
    const int answer = Answer(uType);
    event.result = static_cast<DWORD>(answer);
    event.processId = sim::detail::CurrentProcessId();
    sim::detail::Log(std::move(event));
    return answer;
}
