// The window manager as the product relies on it: finding windows by class and title, sending
// and posting, and who may destroy a window. Run on the simulated device and under Wine alike.
#include "kit/kit.h"

namespace {

// Set before a call whose last-error value is checked, so that a stale value cannot pass.
constexpr DWORD kStaleError = 0x5EE7;

class PlatformWindows : public kit::DeviceTest {};

TEST_F(PlatformWindows, FindWindowMatchesClassAndTitle) {
    const HWND empty = kit::CreateRecordingWindow(TEXT("WrenfoldFind"), TEXT(""));
    const HWND titled = kit::CreateRecordingWindow(TEXT("WrenfoldFindTitled"), TEXT("Caption"));

    EXPECT_EQ(FindWindowW(TEXT("WrenfoldFind"), TEXT("")), empty);
    EXPECT_EQ(FindWindowW(TEXT("wrenfoldfind"), nullptr), empty) << "classes ignore case";
    EXPECT_EQ(FindWindowW(TEXT("WrenfoldFindTitled"), nullptr), titled) << "null matches any title";
    EXPECT_EQ(FindWindowW(TEXT("WrenfoldFindTitled"), TEXT("")), nullptr)
        << "an empty title matches only an empty title";
    EXPECT_EQ(FindWindowW(nullptr, TEXT("Caption")), titled) << "null matches any class";
    EXPECT_EQ(FindWindowW(TEXT("WrenfoldFindTitled"), TEXT("Other")), nullptr);
}

TEST_F(PlatformWindows, SendIsSynchronousAndPostIsHandledLater) {
    const HWND window = kit::CreateRecordingWindow(TEXT("WrenfoldMessages"), TEXT("Messages"));

    WCHAR text[3] = {1, 1, 1};
    EXPECT_EQ(SendMessageW(window, WM_GETTEXT, 3, reinterpret_cast<LPARAM>(text)), 2)
        << "cut to the buffer";
    EXPECT_EQ(WideString(text), TEXT("Me"));
    ASSERT_EQ(kit::Deliveries(WM_GETTEXT).size(), 1u);
    EXPECT_TRUE(kit::Deliveries(WM_GETTEXT)[0].sent);

    EXPECT_TRUE(PostMessageW(window, WM_USER + 1, 7, 8));
    Sleep(100);  // other threads run meanwhile
    const std::vector<kit::Delivery> posted = kit::Deliveries(WM_USER + 1);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_FALSE(posted[0].sent);
    EXPECT_EQ(posted[0].wParam, 7u);
    EXPECT_EQ(posted[0].lParam, 8);
}

TEST_F(PlatformWindows, OnlyTheOwningThreadDestroysAWindow) {
    const HWND window = kit::CreateRecordingWindow(TEXT("WrenfoldOwned"), TEXT("Owned"));
    SetLastError(kStaleError);
    EXPECT_FALSE(DestroyWindow(window));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(IsWindow(window));
    SendMessageW(window, WM_CLOSE, 0, 0);  // closes on its own thread
    EXPECT_FALSE(IsWindow(window));
}

// The world answers a box with the button asked for where the box shows it, else with its first.
TEST_F(PlatformWindows, ABoxGivesBackTheButtonPressedAmongItsOwn) {
    const struct {
        UINT buttons;
        int asked, answer;
    } rows[] = {
        {MB_OK, IDYES, IDOK},   {MB_OKCANCEL, IDCANCEL, IDCANCEL}, {MB_OKCANCEL, IDNO, IDOK},
        {MB_YESNO, IDNO, IDNO}, {MB_YESNO, IDYES, IDYES},          {MB_YESNO, IDOK, IDYES},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::to_string(row.buttons) + ", asked " + std::to_string(row.asked));
        kit::AnswerBoxesWith(row.asked);
        EXPECT_EQ(MessageBoxW(nullptr, TEXT("Go on?"), TEXT("Wrenfold"), row.buttons), row.answer);
        EXPECT_EQ(kit::Boxes().back().answer, row.answer);
    }
}

TEST_F(PlatformWindows, MessagesToMissingWindowsFail) {
    const HWND window = kit::CreateRecordingWindow(TEXT("WrenfoldGone"), TEXT("Gone"));
    SendMessageW(window, WM_CLOSE, 0, 0);
    SetLastError(kStaleError);
    EXPECT_FALSE(PostMessageW(window, WM_CLOSE, 0, 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

}  // namespace
