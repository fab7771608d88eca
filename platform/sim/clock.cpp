// The device's calendar clock. It reads a fixed moment at reset and moves with the virtual clock
// (Sleep and timed waits), so that every run sees the same times.
#include <windows.h>

#include <cstdint>

#include "internal.h"
#include "sim.h"

namespace {

constexpr std::int64_t kTicksPerMillisecond = 10000;  // file times count 100 ns
constexpr std::int64_t kMillisecondsPerDay = 24LL * 60 * 60 * 1000;
constexpr std::int64_t kDaysPer400Years = 146097;
constexpr int kFirstYear = 1601;  // file times start on 1 January 1601
constexpr int kLastYear = 30827;  // the last year a file time reaches

// Days from 1 March of year 0 of the proleptic Gregorian calendar to the given date. Counting
// from March puts the leap day at the end of the year.
constexpr std::int64_t DaysFromEpoch(std::int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = year / 400;  // years before 1601 never come here
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned monthFromMarch = month > 2 ? month - 3 : month + 9;
    const unsigned dayOfYear = (153 * monthFromMarch + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * kDaysPer400Years + dayOfEra;
}

constexpr std::int64_t kFirstDay = DaysFromEpoch(kFirstYear, 1, 1);

// The clock at reset: 2004-06-15 09:30:00.000 UTC, a day in the device's working life.
constexpr std::int64_t kResetTicks =
    ((DaysFromEpoch(2004, 6, 15) - kFirstDay) * kMillisecondsPerDay + (9 * 60 + 30) * 60000LL) *
    kTicksPerMillisecond;

bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned DaysInMonth(unsigned year, unsigned month) {
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

SYSTEMTIME ToSystemTime(std::int64_t ticks) {
    const std::int64_t milliseconds = ticks / kTicksPerMillisecond;
    const std::int64_t days = milliseconds / kMillisecondsPerDay;
    const std::int64_t timeOfDay = milliseconds % kMillisecondsPerDay;

    // The inverse of DaysFromEpoch: the era, the year within it, then month and day from March.
    const std::int64_t fromEpoch = days + kFirstDay;
    const std::int64_t era = fromEpoch / kDaysPer400Years;
    const auto dayOfEra = static_cast<unsigned>(fromEpoch - era * kDaysPer400Years);
    const unsigned yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned monthFromMarch = (5 * dayOfYear + 2) / 153;
    const unsigned month = monthFromMarch < 10 ? monthFromMarch + 3 : monthFromMarch - 9;

    SYSTEMTIME time{};
    time.wYear = static_cast<WORD>(era * 400 + yearOfEra + (month <= 2 ? 1 : 0));
    time.wMonth = static_cast<WORD>(month);
    time.wDay = static_cast<WORD>(dayOfYear - (153 * monthFromMarch + 2) / 5 + 1);
    time.wDayOfWeek = static_cast<WORD>((days + 1) % 7);  // 1 January 1601 was a Monday
    time.wHour = static_cast<WORD>(timeOfDay / 3600000);
    time.wMinute = static_cast<WORD>(timeOfDay / 60000 % 60);
    time.wSecond = static_cast<WORD>(timeOfDay / 1000 % 60);
    time.wMilliseconds = static_cast<WORD>(timeOfDay % 1000);
    return time;
}

}  // namespace

void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
    *lpSystemTime = ToSystemTime(kResetTicks + std::int64_t{sim::Now()} * kTicksPerMillisecond);
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
    const SYSTEMTIME& time = *lpSystemTime;
    if (time.wYear < kFirstYear || time.wYear > kLastYear || time.wMonth < 1 || time.wMonth > 12 ||
        time.wDay < 1 || time.wDay > DaysInMonth(time.wYear, time.wMonth) || time.wHour > 23 ||
        time.wMinute > 59 || time.wSecond > 59 || time.wMilliseconds > 999) {
        return sim::detail::Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    if (sim::detail::Refused(sim::CallKind::System, "SystemTimeToFileTime")) {
        return sim::detail::Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    const std::int64_t days = DaysFromEpoch(time.wYear, time.wMonth, time.wDay) - kFirstDay;
    const std::int64_t milliseconds =
        days * kMillisecondsPerDay +
        ((time.wHour * 60LL + time.wMinute) * 60 + time.wSecond) * 1000 + time.wMilliseconds;
    const auto ticks = static_cast<std::uint64_t>(milliseconds * kTicksPerMillisecond);
    lpFileTime->dwLowDateTime = static_cast<DWORD>(ticks);
    lpFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return TRUE;
}
