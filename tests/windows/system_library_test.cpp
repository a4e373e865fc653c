// Libraries loaded at run time come from the system folder only, even when
// one of the same name lies beside the program (trap.dll is built into the
// same folder as this test).

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "platform/system_library.h"

namespace {

std::filesystem::path ModulePath(HMODULE module) {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::filesystem::path() : std::filesystem::path(path);
}

std::filesystem::path SystemFolder() {
  wchar_t path[MAX_PATH];
  const UINT length = GetSystemDirectoryW(path, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::filesystem::path() : std::filesystem::path(path);
}

bool SameFolder(const std::filesystem::path& a, const std::filesystem::path& b) {
  return !a.empty() && CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

const wchar_t* const kLibraries[] = {L"comctl32.dll", L"gdiplus.dll", L"wininet.dll",
                                     L"wintrust.dll", L"version.dll", L"uxtheme.dll"};

TEST(SystemLibrary, LoadsEachLibraryFromTheSystemFolderOnce) {
  for (const wchar_t* name : kLibraries) {
    const HMODULE module = SystemLibrary(name);
    ASSERT_NE(module, nullptr) << std::filesystem::path(name);
    EXPECT_TRUE(SameFolder(ModulePath(module).parent_path(), SystemFolder())) << ModulePath(module);
    EXPECT_EQ(SystemLibrary(name), module) << std::filesystem::path(name);
  }
}

TEST(SystemLibrary, TheFullPathFallbackLoadsFromTheSystemFolderToo) {
  for (const wchar_t* name : kLibraries) {
    const HMODULE module = LoadLibraryBySystemPath(name);
    ASSERT_NE(module, nullptr) << std::filesystem::path(name);
    EXPECT_TRUE(SameFolder(ModulePath(module).parent_path(), SystemFolder())) << ModulePath(module);
    FreeLibrary(module);
  }
}

TEST(SystemLibrary, NeverLoadsALibraryBesideTheProgram) {
  const std::filesystem::path beside = ModulePath(nullptr).parent_path();
  const std::filesystem::path mark = beside / L"trap.dll.loaded";
  std::filesystem::remove(mark);
  // The usual search finds the trap, so its absence below means something.
  EXPECT_EQ(LoadLibraryW(L"trap.dll"), nullptr);
  ASSERT_TRUE(std::filesystem::exists(mark)) << mark;
  std::filesystem::remove(mark);

  EXPECT_EQ(SystemLibrary(L"trap.dll"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(mark));
  EXPECT_EQ(LoadLibraryBySystemPath(L"trap.dll"), nullptr);
  EXPECT_FALSE(std::filesystem::exists(mark));
  EXPECT_EQ(SystemFunction<void()>(L"trap.dll", "DllMain"), nullptr);
}

TEST(SystemLibrary, AMissingFunctionIsNull) {
  EXPECT_NE(SystemFunction<decltype(::GetFileVersionInfoSizeW)>(L"version.dll", "GetFileVersionInfoSizeW"), nullptr);
  EXPECT_EQ(SystemFunction<void()>(L"version.dll", "NoSuchFunction"), nullptr);
  EXPECT_EQ(SystemFunction<void()>(L"no-such-library.dll", "NoSuchFunction"), nullptr);
}

}  // namespace
