// The file system as the product relies on it: attributes, what deletion refuses, sharing,
// folder searches with wildcards, and starting programs. Run on the simulated device and under
// Wine alike; searches go through the same compatibility calls as the product.
#include <algorithm>

#include "kit/programs.h"
#include "support/compat.h"

namespace {

// Set before a call whose last-error value is checked, so that a stale value cannot pass.
constexpr DWORD kStaleError = 0x5EE7;

class PlatformFiles : public kit::FolderTest {
  protected:
    static std::vector<WideString> Search(const WCHAR* pattern) {
        std::vector<WideString> names;
        WIN32_FIND_DATAW entry{};
        const HANDLE search = FindFirstEntry(In(pattern).c_str(), entry);
        if (search == INVALID_HANDLE_VALUE) {
            return names;
        }
        do {
            names.emplace_back(entry.cFileName);
        } while (FindNextEntry(search, entry));
        FindClose(search);
        std::sort(names.begin(), names.end());
        return names;
    }
};

// Wine on a Unix file system reports the archive bit on every file, whatever was set; Windows
// and the device report FILE_ATTRIBUTE_NORMAL for a file with no other bit. The bits that
// matter here are compared without those two.
DWORD SignificantAttributes(const WideString& path) {
    return kit::Attributes(path) &
           ~static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL);
}

TEST_F(PlatformFiles, AttributesOfNewAndChangedFiles) {
    kit::MakeFile(In(TEXT("plain.txt")), "x");
    EXPECT_EQ(kit::Attributes(In(TEXT("plain.txt"))), static_cast<DWORD>(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_TRUE(SetFileAttributesW(In(TEXT("plain.txt")).c_str(),
                                   FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_EQ(SignificantAttributes(In(TEXT("plain.txt"))),
              static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN));
    EXPECT_TRUE(SetFileAttributesW(In(TEXT("PLAIN.TXT")).c_str(), FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(SignificantAttributes(In(TEXT("plain.txt"))), 0u);
    EXPECT_TRUE(SetFileAttributesW(In(TEXT("plain.txt")).c_str(), FILE_ATTRIBUTE_NORMAL));

    kit::MakeFolder(In(TEXT("Folder")));
    EXPECT_EQ(kit::Attributes(In(TEXT("Folder"))), static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
    SetLastError(kStaleError);
    EXPECT_EQ(kit::Attributes(In(TEXT("missing"))), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(kStaleError);
    EXPECT_EQ(kit::Attributes(In(TEXT("missing\\x"))), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(PlatformFiles, DeletionRefusesReadOnlyOpenAndFolderEntries) {
    kit::MakeFile(In(TEXT("locked")), "x", FILE_ATTRIBUTE_READONLY);
    kit::MakeFile(In(TEXT("open")), "x");
    kit::MakeFolder(In(TEXT("folder")));
    const HANDLE open = CreateFileW(In(TEXT("open")).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(open, INVALID_HANDLE_VALUE);

    struct Case {
        const WCHAR* name;
        DWORD error;
    };
    for (const Case& c :
         {Case{TEXT("locked"), ERROR_ACCESS_DENIED}, Case{TEXT("open"), ERROR_SHARING_VIOLATION},
          Case{TEXT("folder"), ERROR_ACCESS_DENIED}, Case{TEXT("missing"), ERROR_FILE_NOT_FOUND},
          Case{TEXT("missing\\x"), ERROR_PATH_NOT_FOUND}}) {
        SCOPED_TRACE(kit::Narrow(c.name));
        SetLastError(kStaleError);
        EXPECT_FALSE(DeleteFileW(In(c.name).c_str()));
        EXPECT_EQ(GetLastError(), c.error);
    }
    CloseHandle(open);
    EXPECT_TRUE(DeleteFileW(In(TEXT("OPEN")).c_str()));
    EXPECT_FALSE(kit::PathExists(In(TEXT("open"))));
    SetFileAttributesW(In(TEXT("locked")).c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(PlatformFiles, CreationDispositionsAndSharing) {
    kit::MakeFile(In(TEXT("file")), "longer content");
    SetLastError(kStaleError);
    HANDLE file =
        CreateFileW(In(TEXT("file")).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

    SetLastError(kStaleError);
    file =
        CreateFileW(In(TEXT("none")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));

    file =
        CreateFileW(In(TEXT("file")).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetLastError(kStaleError);
    const HANDLE second = CreateFileW(In(TEXT("file")).c_str(), GENERIC_READ, FILE_SHARE_READ,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(second, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    CloseHandle(file);

    file =
        CreateFileW(In(TEXT("file")).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetFileSize(file, nullptr), 0u) << "CREATE_ALWAYS cuts an existing file";
    CloseHandle(file);

    if (kit::ReadOnlyFilesRefuseWriting()) {
        SetFileAttributesW(In(TEXT("file")).c_str(), FILE_ATTRIBUTE_READONLY);
        SetLastError(kStaleError);
        file = CreateFileW(In(TEXT("file")).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                           nullptr);
        EXPECT_EQ(file, INVALID_HANDLE_VALUE);
        EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    }
}

TEST_F(PlatformFiles, SearchesFollowWindowsWildcards) {
    for (const WCHAR* name :
         {TEXT("a.txt"), TEXT("B.TXT"), TEXT("ab.txt"), TEXT("noext"), TEXT("c.dat")}) {
        kit::MakeFile(In(name), "x");
    }
    kit::MakeFolder(In(TEXT("sub")));

    const auto names = [](std::initializer_list<const WCHAR*> list) {
        std::vector<WideString> sorted(list.begin(), list.end());
        std::sort(sorted.begin(), sorted.end());
        return sorted;
    };
    EXPECT_EQ(Search(TEXT("*.*")), names({TEXT("a.txt"), TEXT("B.TXT"), TEXT("ab.txt"),
                                          TEXT("noext"), TEXT("c.dat"), TEXT("sub")}));
    EXPECT_EQ(Search(TEXT("*.txt")), names({TEXT("a.txt"), TEXT("B.TXT"), TEXT("ab.txt")}));
    EXPECT_EQ(Search(TEXT("?.txt")), names({TEXT("a.txt"), TEXT("B.TXT")}));
    EXPECT_EQ(Search(TEXT("NOEXT")), names({TEXT("noext")}));
    EXPECT_TRUE(Search(TEXT("*.none")).empty());

    WIN32_FIND_DATAW entry{};
    SetLastError(kStaleError);
    EXPECT_EQ(FindFirstEntry(In(TEXT("missing\\*.*")).c_str(), entry), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(FindFirstEntry(In(TEXT("sub\\*.*")).c_str(), entry), INVALID_HANDLE_VALUE)
        << "an empty folder has no entries";
}

TEST_F(PlatformFiles, FoldersAreCreatedOnce) {
    EXPECT_TRUE(CreateDirectoryW(In(TEXT("New")).c_str(), nullptr));
    SetLastError(kStaleError);
    EXPECT_FALSE(CreateDirectoryW(In(TEXT("new")).c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    SetLastError(kStaleError);
    EXPECT_FALSE(CreateDirectoryW(In(TEXT("none\\New")).c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(PlatformFiles, StartingAMissingProgramFailsLikeAMissingFile) {
    PROCESS_INFORMATION info{};
    SetLastError(kStaleError);
    EXPECT_FALSE(StartProcess(In(TEXT("none.exe")).c_str(), TEXT(""), 0, info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    SetLastError(kStaleError);
    EXPECT_FALSE(StartProcess(In(TEXT("none\\none.exe")).c_str(), TEXT(""), 0, info));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
}

TEST_F(PlatformFiles, ARunningProgramsFileCannotBeReplacedOrDeleted) {
    const WideString program = In(TEXT("Korvessa.exe"));
    kit::InstallStandInApplication(program.c_str());
    kit::StartProgram(program);
    ASSERT_NE(kit::WaitForApplicationWindow(), nullptr);

    SetLastError(kStaleError);
    const HANDLE file =
        CreateFileW(program.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    SetLastError(kStaleError);
    EXPECT_FALSE(DeleteFileW(program.c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));

    kit::CloseApplication();
    EXPECT_TRUE(DeleteFileW(program.c_str())) << "free once the program has ended";
}

}  // namespace
