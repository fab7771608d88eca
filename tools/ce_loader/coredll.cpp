// COREDLL.dll as the device's programs see it under the loader: each export they may import
// (platform/device/coredll.def), bound to the simulated device's function of that name. The
// device's code and the simulated device's meet at the ARM procedure call standard: every value
// that crosses is a word, except the doubles of the floating-point helpers, which both place in
// the first and second register pairs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ce_loader/ce_image.h"

namespace ce {
namespace {

template <class Signature>
Function Bind(Signature* function) {
    return reinterpret_cast<Function>(function);
}

// CE's floating-point helpers: IEEE double arithmetic, and conversions that truncate.
double AddDoubles(double a, double b) {
    return a + b;
}
double SubtractDoubles(double a, double b) {
    return a - b;
}
double MultiplyDoubles(double a, double b) {
    return a * b;
}
double DivideDoubles(double a, double b) {
    return a / b;
}
int DoubleToInt(double value) {
    return static_cast<int>(value);
}
double UnsignedToDouble(unsigned value) {
    return static_cast<double>(value);
}

// The device's programs end their own process only when the C++ library would throw (no memory
// left): on the device the installer would end there, so the run that hosts them does too.
BOOL EndCurrentProcess(HANDLE process, DWORD exitCode) {
    if (process != GetCurrentProcess()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    std::fprintf(stderr, "the device's code ended its process with exit code %u\n",
                 static_cast<unsigned>(exitCode));
    std::_Exit(static_cast<int>(exitCode));
}

}  // namespace

// A table rather than logic, as long as the list of COREDLL.dll exports that the device's
// files import.
const std::vector<Binding>& Coredll() {
    static const std::vector<Binding> exports = {
        // Kernel: files, folders, processes, time, errors.
        {"CloseHandle", Bind(&CloseHandle)},
        {"CreateFileW", Bind(&CreateFileW)},
        {"CreateProcessW", Bind(&CreateProcessW)},
        {"DeleteFileW", Bind(&DeleteFileW)},
        {"FindClose", Bind(&FindClose)},
        {"FindFirstFileW", Bind(&FindFirstFileW)},
        {"FindNextFileW", Bind(&FindNextFileW)},
        {"GetFileAttributesW", Bind(&GetFileAttributesW)},
        {"GetFileSize", Bind(&GetFileSize)},
        {"GetFileTime", Bind(&GetFileTime)},
        {"GetSystemTime", Bind(&GetSystemTime)},
        {"GetVersionExW", Bind(&GetVersionExW)},
        {"ReadFile", Bind(&ReadFile)},
        {"SetFileAttributesW", Bind(&SetFileAttributesW)},
        {"SetLastError", Bind(&SetLastError)},
        {"Sleep", Bind(&Sleep)},
        {"SystemTimeToFileTime", Bind(&SystemTimeToFileTime)},
        {"TerminateProcess", Bind(&EndCurrentProcess)},
        {"WaitForSingleObject", Bind(&WaitForSingleObject)},
        {"WriteFile", Bind(&WriteFile)},
        // Libraries, messages, code pages.
        {"FormatMessageW", Bind(&FormatMessageW)},
        {"FreeLibrary", Bind(&FreeLibrary)},
        {"GetProcAddressW", Bind(&GetProcAddressW)},
        {"LoadLibraryW", Bind(&LoadLibraryW)},
        {"LocalFree", Bind(&LocalFree)},
        {"MultiByteToWideChar", Bind(&MultiByteToWideChar)},
        {"WideCharToMultiByte", Bind(&WideCharToMultiByte)},
        // Registry.
        {"RegCloseKey", Bind(&RegCloseKey)},
        {"RegDeleteValueW", Bind(&RegDeleteValueW)},
        {"RegEnumKeyExW", Bind(&RegEnumKeyExW)},
        {"RegEnumValueW", Bind(&RegEnumValueW)},
        {"RegOpenKeyExW", Bind(&RegOpenKeyExW)},
        {"RegQueryValueExW", Bind(&RegQueryValueExW)},
        {"RegSetValueExW", Bind(&RegSetValueExW)},
        // Windows, messages, message boxes.
        {"EnumWindows", Bind(&EnumWindows)},
        {"FindWindowW", Bind(&FindWindowW)},
        {"GetClassNameW", Bind(&GetClassNameW)},
        {"GetDlgItem", Bind(&GetDlgItem)},
        {"GetWindow", Bind(&GetWindow)},
        {"GetWindowThreadProcessId", Bind(&GetWindowThreadProcessId)},
        {"MessageBoxW", Bind(&MessageBoxW)},
        {"PostMessageW", Bind(&PostMessageW)},
        {"SendMessageW", Bind(&SendMessageW)},
        {"SystemParametersInfoW", Bind(&SystemParametersInfoW)},
        {"wsprintfW", Bind(&wsprintfW)},
        // Drawing.
        {"CreateSolidBrush", Bind(&CreateSolidBrush)},
        {"DeleteObject", Bind(&DeleteObject)},
        {"FillRect", Bind(&FillRect)},
        {"GetDC", Bind(&GetDC)},
        {"GetDeviceCaps", Bind(&GetDeviceCaps)},
        {"ReleaseDC", Bind(&ReleaseDC)},
        {"SelectObject", Bind(&SelectObject)},
        // C runtime: the wide functions are the simulated device's, for 16-bit units; the rest
        // are the host's C library's, which is the device's in all that matters here.
        {"_itow", Bind<WCHAR*(int, WCHAR*, int)>(&_itow)},
        {"_strlwr", Bind(&_strlwr)},
        {"_ultow", Bind<WCHAR*(unsigned long, WCHAR*, int)>(&_ultow)},
        {"_wcsicmp", Bind<int(const WCHAR*, const WCHAR*)>(&_wcsicmp)},
        {"_wfopen", Bind(&_wfopen)},
        {"fclose", Bind(&std::fclose)},
        {"ferror", Bind(&std::ferror)},
        {"fread", Bind(&std::fread)},
        {"free", Bind(&std::free)},
        {"fwrite", Bind(&std::fwrite)},
        {"malloc", Bind(&std::malloc)},
        {"memchr", Bind<const void*(const void*, int, std::size_t)>(&std::memchr)},
        {"memcpy", Bind(&std::memcpy)},
        {"memmove", Bind(&std::memmove)},
        {"memset", Bind(&std::memset)},
        {"strlen", Bind(&std::strlen)},
        {"wcscpy", Bind<WCHAR*(WCHAR*, const WCHAR*)>(&wcscpy)},
        {"wcslen", Bind<std::size_t(const WCHAR*)>(&wcslen)},
        {"wcsncmp", Bind<int(const WCHAR*, const WCHAR*, std::size_t)>(&wcsncmp)},
        // Floating point, by the names of CE's compiler.
        {"__addd", Bind(&AddDoubles)},
        {"__subd", Bind(&SubtractDoubles)},
        {"__muld", Bind(&MultiplyDoubles)},
        {"__divd", Bind(&DivideDoubles)},
        {"__dtoi", Bind(&DoubleToInt)},
        {"__utod", Bind(&UnsignedToDouble)},
    };
    return exports;
}

}  // namespace ce
