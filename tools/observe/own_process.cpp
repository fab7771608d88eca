#include "observe/own_process.h"

#include <cstdio>

namespace {

constexpr ULONG_PTR kHighestProbedHandle = 0x2000;

// A counted UTF-16 text as NtQueryObject returns it (length in bytes, capacity, pointer), in
// UTF-8.
std::string CountedText(const BYTE* record) {
    const auto length = *reinterpret_cast<const USHORT*>(record);
    const WCHAR* text = *reinterpret_cast<WCHAR* const*>(record + sizeof(void*));
    if (text == nullptr || length == 0) {
        return {};
    }
    const int units = length / static_cast<int>(sizeof(WCHAR));
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, units, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes : 0), '\0');
    if (bytes > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text, units, utf8.data(), bytes, nullptr, nullptr);
    }
    return utf8;
}

}  // namespace

const void* PlatformFunction(const WCHAR* library, const char* function) {
    return reinterpret_cast<const void*>(GetProcAddress(GetModuleHandleW(library), function));
}

int RedirectImports(HMODULE module, const Redirect& redirect) {
    const auto real =
        reinterpret_cast<ULONG_PTR>(PlatformFunction(redirect.library, redirect.function));
    auto* const image = reinterpret_cast<BYTE*>(module);
    const auto* const dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(image);
    const auto* const headers = reinterpret_cast<const IMAGE_NT_HEADERS*>(image + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports =
        headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    int changed = 0;
    for (auto* library =
             reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(image + imports.VirtualAddress);
         imports.VirtualAddress != 0 && library->Name != 0; ++library) {
        for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(image + library->FirstThunk);
             slot->u1.Function != 0; ++slot) {
            if (slot->u1.Function != real) {
                continue;
            }
            DWORD protection = 0;
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE,
                           &protection);
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(redirect.replacement);
            VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, protection, &protection);
            ++changed;
        }
    }
    return changed;
}

HandleList OpenHandles() {
    HandleList handles;
    for (ULONG_PTR value = 4; value <= kHighestProbedHandle; value += 4) {
        DWORD flags = 0;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) {
            handles[value] = DescribeHandle(reinterpret_cast<HANDLE>(value));
        }
    }
    return handles;
}

HandleList HandlesOpenedSince(const HandleList& before) {
    HandleList opened;
    for (const auto& [value, description] : OpenHandles()) {
        const auto was = before.find(value);
        if (was == before.end() || was->second != description) {
            opened.emplace(value, description);
        }
    }
    return opened;
}

std::string HandleReport(const HandleList& handles) {
    std::string report;
    for (const auto& [value, description] : handles) {
        char number[24];
        std::snprintf(number, sizeof number, " (0x%llx)", static_cast<unsigned long long>(value));
        report += (report.empty() ? "" : ", ") + description + number;
    }
    return report;
}

std::string DescribeHandle(HANDLE handle) {
    using QueryObject = LONG(WINAPI*)(HANDLE, int, void*, ULONG, ULONG*);
    const auto query = reinterpret_cast<QueryObject>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQueryObject")));
    if (query == nullptr) {
        return "handle";
    }
    constexpr int kObjectNameInformation = 1;
    constexpr int kObjectTypeInformation = 2;
    alignas(8) BYTE type[1024] = {};
    alignas(8) BYTE name[1024] = {};
    std::string description = query(handle, kObjectTypeInformation, type, sizeof type, nullptr) == 0
                                  ? CountedText(type)
                                  : "";
    description += " handle";
    if (query(handle, kObjectNameInformation, name, sizeof name, nullptr) == 0 &&
        !CountedText(name).empty()) {
        description += " " + CountedText(name);
    }
    return description;
}
