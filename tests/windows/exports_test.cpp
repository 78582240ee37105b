// The export table of qrkit.dll as a loaded module: every export found by name and by ordinal at the
// same address, and nothing else exported.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "qrkit_dll.h"

namespace {

using wintest::kExports;

// The names of a loaded module's export directory.
std::set<std::string> exportedNames(HMODULE module) {
    const auto* base = reinterpret_cast<const BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& entry = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    const auto* directory = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + entry.VirtualAddress);
    const auto* names = reinterpret_cast<const DWORD*>(base + directory->AddressOfNames);
    std::set<std::string> result;
    for (DWORD i = 0; i < directory->NumberOfNames; ++i) {
        result.insert(reinterpret_cast<const char*>(base + names[i]));
    }
    return result;
}

TEST(ExportTable, NameAndOrdinalGiveTheSameFunction) {
    HMODULE module = wintest::library();
    for (const wintest::ExportEntry& entry : kExports) {
        SCOPED_TRACE(entry.name);
        FARPROC byName = GetProcAddress(module, entry.name);
        FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(entry.ordinal));
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(byOrdinal, byName) << "ordinal " << entry.ordinal;
    }
}

TEST(ExportTable, NothingElseIsExported) {
    HMODULE module = wintest::library();
    std::set<std::string> expected;
    for (const wintest::ExportEntry& entry : kExports)
        expected.insert(entry.name);
    EXPECT_EQ(exportedNames(module), expected);
    for (int ordinal : {1, 29, 33, 34, 35, 42, 48, 49, 51, 59, 63, 69, 73}) {
        EXPECT_EQ(GetProcAddress(module, MAKEINTRESOURCEA(ordinal)), nullptr) << "ordinal " << ordinal;
    }
    EXPECT_EQ(GetProcAddress(module, "QRCodeEncode@16"), nullptr) << "no decorated names";
    EXPECT_EQ(GetProcAddress(module, "_QRCodeEncode@16"), nullptr) << "no decorated names";
}

TEST(ExportTable, ModuleName) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(wintest::library(), path, MAX_PATH);
    ASSERT_GT(length, 0u);
    const std::string name(path, length);
    EXPECT_EQ(name.substr(name.find_last_of("\\/") + 1), "qrkit.dll");
}

}  // namespace
