// CloseKorvessa as the user sees it: one close request at most, then one box that says what
// happened, and exit code 0 whatever the command line.
#include "kit/programs.h"

namespace {

class CloseProgram : public kit::DeviceTest {};

void ExpectNotLoadedBox() {
    const std::vector<kit::Box> boxes = kit::Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(kit::Narrow(boxes[0].caption), "Close Korvessa");
    EXPECT_EQ(kit::Narrow(boxes[0].text), "Korvessa is not currently loaded");
    EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(boxes[0].owner, nullptr);
}

TEST_F(CloseProgram, SaysSoWhenTheApplicationIsNotRunning) {
    EXPECT_EQ(kit::RunCloseProgram(TEXT("")), 0u);
    ExpectNotLoadedBox();
    EXPECT_TRUE(kit::Deliveries(WM_CLOSE).empty());
}

TEST_F(CloseProgram, ClosesTheRunningApplicationBeforeSayingSo) {
    const HWND application = kit::CreateRecordingWindow(TEXT("KorvessaNotify"), TEXT(""));

    EXPECT_EQ(kit::RunCloseProgram(TEXT("")), 0u);

    const std::vector<kit::Delivery> closes = kit::Deliveries(WM_CLOSE);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].window, application);
    EXPECT_EQ(closes[0].wParam, 0u);
    EXPECT_EQ(closes[0].lParam, 0);
    const std::vector<kit::Box> boxes = kit::Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(kit::Narrow(boxes[0].caption), "Korvessa Closed");
    EXPECT_EQ(kit::Narrow(boxes[0].text), "If you wish to reload Korvessa perform a soft reset.");
    EXPECT_EQ(boxes[0].flags, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(boxes[0].owner, nullptr);
    EXPECT_GT(boxes[0].sequence, closes[0].sequence) << "the box came before the close was handled";
    EXPECT_FALSE(IsWindow(application));
}

TEST_F(CloseProgram, LeavesLookAlikeWindowsAlone) {
    const HWND titled = kit::CreateRecordingWindow(TEXT("KorvessaNotify"), TEXT("Korvessa"));
    const HWND otherClass = kit::CreateRecordingWindow(TEXT("NotKorvessa"), TEXT(""));

    EXPECT_EQ(kit::RunCloseProgram(TEXT("")), 0u);

    ExpectNotLoadedBox();
    EXPECT_TRUE(kit::Deliveries(WM_CLOSE).empty());
    EXPECT_TRUE(IsWindow(titled));
    EXPECT_TRUE(IsWindow(otherClass));
}

TEST_F(CloseProgram, IgnoresItsCommandLine) {
    for (const WCHAR* line : {TEXT("/close"), TEXT("KorvessaNotify \"\" --force"), TEXT("   ")}) {
        SCOPED_TRACE(kit::Narrow(line));
        kit::ResetWorld();
        const HWND application = kit::CreateRecordingWindow(TEXT("KorvessaNotify"), TEXT(""));
        EXPECT_EQ(kit::RunCloseProgram(line), 0u);
        EXPECT_FALSE(IsWindow(application));
        const std::vector<kit::Box> boxes = kit::Boxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, kit::Widen("Korvessa Closed"));
    }
}

}  // namespace
