// The test kit: the world (tools/world/world.h) the suites set up and look at, with GoogleTest's
// glue. Every test of the product starts in a fresh world and ends with nothing left open, and
// what the world cannot arrange for a test fails it. The programs a suite may run are the
// world's other part, kit/programs.h.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "world/world.h"

namespace kit {

using namespace world;  // the kit is the world, checked
using ::Narrow;
using ::Widen;

// A key below each root, and a folder (root-relative; on drive C: under Wine), that belong to the
// tests alone.
inline const WCHAR* const kTestKey = TEXT("Software\\WrenfoldTest");
inline const WCHAR* const kTestFolder = TEXT("\\WrenfoldTest");

// A fresh world, in which what the world cannot arrange fails the running test.
void ResetWorld();

class DeviceTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// A DeviceTest that also has the tests' own folder made.
class FolderTest : public DeviceTest {
  protected:
    void SetUp() override;
    // The path of `name` inside the tests' folder.
    static WideString In(const WCHAR* name);
};

// A window made on the test's thread through the window manager itself: top-level (WS_POPUP)
// without a parent, else a child control (WS_CHILD) with the identifier `id`. Its class is
// registered on first use and behaves as DefWindowProc does. The top-level ones, and with them
// their children, are destroyed when the test ends.
HWND CreateTestWindow(const WCHAR* className, HWND parent, const WCHAR* title = TEXT(""),
                      int id = 0);

// Whether the test's thread has paused for exactly `milliseconds` since `start`.
::testing::AssertionResult PausedFor(DWORD start, DWORD milliseconds);

inline WideString Repeat(WCHAR unit, std::size_t count) {
    return WideString(count, unit);
}
// Each unit as four hexadecimal digits, so that a failure shows exactly which units differ.
std::string HexUnits(const WideString& units);

}  // namespace kit
