// The platform as the theme helpers rely on it: formatted printing into a buffer, and messages
// to every top-level window. Run on the simulated device and under Wine alike.
#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>
#include <string>

#include "kit/kit.h"
#include "support/compat.h"

namespace {

// Set before a call whose last-error value is checked, so that a stale value cannot pass.
constexpr DWORD kStaleError = 0x5EE7;

class PlatformFormatting : public kit::DeviceTest {};

TEST_F(PlatformFormatting, WsprintfFormsTheLibraryUses) {
    struct Case {
        const char* expected;
        int (*format)(LPWSTR out);
    };
    const Case cases[] = {
        {"/delete 0 \"\\My Themes\\Blue.cab\"",
         [](LPWSTR out) {
             return wsprintfW(out, TEXT("/delete 0 \"%s\""), TEXT("\\My Themes\\Blue.cab"));
         }},
        {"deadbeef 0 ffffffff",
         [](LPWSTR out) {
             return wsprintfW(out, TEXT("%lx %lx %lx"), static_cast<DWORD>(0xDEADBEEF), DWORD{0},
                              static_cast<DWORD>(0xFFFFFFFF));
         }},
        {"-5 -2147483648 42 -7",
         [](LPWSTR out) {
             return wsprintfW(out, TEXT("%d %d %i %ld"), -5, INT_MIN, 42, LONG{-7});
         }},
        {"0000beef|   42|42   |00007",
         [](LPWSTR out) {
             return wsprintfW(out, TEXT("%08lx|%5d|%-5d|%.5d"), static_cast<DWORD>(0xBEEF), 42, 42,
                              7);
         }},
        {"ff FF 4000000000 Z %",
         [](LPWSTR out) {
             return wsprintfW(out, TEXT("%x %X %u %c %%"), 255u, 255u, 4000000000u,
                              static_cast<int>(TEXT('Z')));
         }},
        {"abc|    x|y    |(null)",
         [](LPWSTR out) {
             return wsprintfW(out, TEXT("%.3s|%5s|%-5s|%s"), TEXT("abcdef"), TEXT("x"), TEXT("y"),
                              static_cast<const WCHAR*>(nullptr));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        WCHAR out[64];
        std::fill(std::begin(out), std::end(out), TEXT('#'));

        const int length = c.format(out);

        ASSERT_EQ(length, static_cast<int>(std::strlen(c.expected)));
        EXPECT_EQ(kit::Narrow(out), c.expected);
        EXPECT_EQ(out[length + 1], TEXT('#')) << "nothing written past the terminating zero";
    }
}

class PlatformBroadcasts : public kit::DeviceTest {
  protected:
    void SetUp() override {
        DeviceTest::SetUp();
        first_ = kit::CreateRecordingWindow(TEXT("WrenfoldFirst"), TEXT("First"));
        second_ = kit::CreateRecordingWindow(TEXT("WrenfoldSecond"), TEXT("Second"));
    }

    // Lets every message posted so far reach both windows: markers posted now arrive after them.
    void LetPostedMessagesArrive() const {
        constexpr UINT kMarker = WM_APP + 9;
        const std::size_t markers = kit::Deliveries(kMarker).size();
        PostMessageW(first_, kMarker, 0, 0);
        PostMessageW(second_, kMarker, 0, 0);
        for (DWORD waited = 0; kit::Deliveries(kMarker).size() < markers + 2 && waited < 5000;
             waited += 10) {
            Sleep(waited == 0 ? 0 : 10);
        }
    }

    void ExpectReachedBoth(UINT message, bool sent) const {
        const std::vector<kit::Delivery> deliveries = kit::Deliveries(message);
        ASSERT_EQ(deliveries.size(), 2u);
        EXPECT_NE(deliveries[0].window, deliveries[1].window);
        for (const kit::Delivery& delivery : deliveries) {
            EXPECT_TRUE(delivery.window == first_ || delivery.window == second_);
            EXPECT_EQ(delivery.sent, sent);
            EXPECT_EQ(delivery.wParam, 0xF2u);
            EXPECT_EQ(delivery.lParam, 0);
        }
    }

    HWND first_ = nullptr;
    HWND second_ = nullptr;
};

TEST_F(PlatformBroadcasts, ASentBroadcastIsHandledByEveryWindowBeforeItReturns) {
    EXPECT_EQ(SendMessageW(HWND_BROADCAST, WM_WININICHANGE, 0xF2, 0), 1);
    ExpectReachedBoth(WM_WININICHANGE, true);
}

TEST_F(PlatformBroadcasts, APostedBroadcastReachesEveryWindowLater) {
    EXPECT_NE(PostMessageW(HWND_BROADCAST, WM_NULL, 0xF2, 0), FALSE);
    LetPostedMessagesArrive();
    ExpectReachedBoth(WM_NULL, false);
}

TEST_F(PlatformBroadcasts, PrivateMessagesAreNotBroadcast) {
    // What WM_USER and the messages above it mean depends on the window's class.
    EXPECT_EQ(SendMessageW(HWND_BROADCAST, WM_USER + 5, 0xF2, 0), 1);
    EXPECT_NE(PostMessageW(HWND_BROADCAST, WM_USER + 5, 0xF2, 0), FALSE);
    LetPostedMessagesArrive();
    EXPECT_TRUE(kit::Deliveries(WM_USER + 5).empty());
}

// WM_WININICHANGE may carry a pointer. The device posts it like any other message; desktop
// Win32 refuses to post it (ERROR_MESSAGE_SYNC_ONLY), which is why PostBroadcast sends it there.
TEST_F(PlatformBroadcasts, OnlyTheDeviceCanPostTheSettingsChange) {
    constexpr DWORD kMessageSyncOnly = 1159;
    SetLastError(kStaleError);
    const BOOL posted = PostMessageW(HWND_BROADCAST, WM_WININICHANGE, 0xF2, 0);
    const DWORD error = GetLastError();
    LetPostedMessagesArrive();
    if (WRENFOLD_DESKTOP_WIN32) {
        EXPECT_EQ(posted, FALSE);
        EXPECT_EQ(error, kMessageSyncOnly);
        EXPECT_TRUE(kit::Deliveries(WM_WININICHANGE).empty());
    } else {
        EXPECT_NE(posted, FALSE);
        ExpectReachedBoth(WM_WININICHANGE, false);
    }

    EXPECT_NE(PostBroadcast(WM_WININICHANGE, 0xF2, 0), FALSE);
    LetPostedMessagesArrive();
    EXPECT_EQ(kit::Deliveries(WM_WININICHANGE).size(), WRENFOLD_DESKTOP_WIN32 ? 2u : 4u);
}

}  // namespace
