// What the DLL carries besides code: the type library (TYPELIB 1, read back and never
// registered), the version information and the manifests (the DLL's and QuilloNote.exe's), on
// this tree's binaries and on the shipped ones.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <string>
#include <vector>

#include "resources/Quillo_TLB.h"
#include "support/uComTestSupport.h"
#include "support/uTestSupport.h"

namespace {

// This tree's DLL, and the shipped ones when the tree knows where they are, with the kind of
// Windows each is built for.
struct TDllCase {
  std::string path;
  SYSKIND syskind;
};
std::vector<TDllCase> DllCases() {
  std::vector<TDllCase> cases = {{BuiltDllPath(), sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32}};
  if (!ShippedPath("Quillo.dll").empty()) {
    cases.push_back({ShippedPath("Quillo.dll"), SYS_WIN32});
    cases.push_back({ShippedPath("x64\\Quillo.dll"), SYS_WIN64});
  }
  return cases;
}

struct TBstr {
  BSTR s = nullptr;
  ~TBstr() { ::SysFreeString(s); }
  std::wstring str() const { return s ? std::wstring(s) : std::wstring(); }
};

TEST(TypeLib, ResourceAttributes) {
  ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
  for (const TDllCase& dll : DllCases()) {
    SCOPED_TRACE(dll.path);
    ITypeLib* lib = nullptr;
    ASSERT_EQ(::LoadTypeLibEx(Wide(dll.path).c_str(), REGKIND_NONE, &lib), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    const GUID libid = {0xB2D94A6E, 0x3C17, 0x4E85,
                        {0x9F, 0x0A, 0x71, 0xC6, 0xE2, 0xD8, 0x3B, 0x59}};
    EXPECT_TRUE(::IsEqualGUID(attr->guid, libid));
    EXPECT_TRUE(::IsEqualGUID(attr->guid, LIBID_Quillo));
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->syskind, dll.syskind);
    EXPECT_EQ(attr->wMajorVerNum, 1);
    EXPECT_EQ(attr->wMinorVerNum, 0);
    EXPECT_EQ(attr->wMajorVerNum, QuilloMajorVersion);
    EXPECT_EQ(attr->wMinorVerNum, QuilloMinorVersion);
    // Only "stored on disk" may be set; no flag is declared.
    EXPECT_EQ(attr->wLibFlags & ~LIBFLAG_FHASDISKIMAGE, 0);
    lib->ReleaseTLibAttr(attr);

    TBstr name, doc, helpFile;
    DWORD helpContext = 1;
    ASSERT_EQ(lib->GetDocumentation(-1, &name.s, &doc.s, &helpContext, &helpFile.s), S_OK);
    EXPECT_EQ(name.str(), L"Quillo");
    EXPECT_EQ(doc.str(), L"Quillo Library");
    EXPECT_EQ(helpContext, 0u);
    EXPECT_EQ(helpFile.s, nullptr);
    EXPECT_EQ(lib->GetTypeInfoCount(), 0u);
    lib->Release();
  }
  ::CoUninitialize();
}

TEST(TypeLib, ResourceIsTypelibOneLanguageNeutral) {
  HMODULE dll = ::LoadLibraryExW(Wide(BuiltDllPath()).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(dll, nullptr);
  EXPECT_NE(::FindResourceExA(dll, "TYPELIB", MAKEINTRESOURCEA(1),
                              MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL)),
            nullptr);
  ::FreeLibrary(dll);
}

bool Registered() {
  BSTR path = nullptr;
  HRESULT hr = ::QueryPathOfRegTypeLib(LIBID_Quillo, 1, 0, 0, &path);
  ::SysFreeString(path);
  return SUCCEEDED(hr);
}

TEST(TypeLib, RegistrationLeavesItAlone) {
  ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
  {
    TClassesRootOverride classes;
    ASSERT_TRUE(classes.Active());
    TQuilloDll dll;
    ASSERT_TRUE(dll.Loaded());
    ASSERT_EQ(dll.RegisterServer(), S_OK);
    EXPECT_FALSE(Registered());
    EXPECT_FALSE(KeyExists(classes.Root(), "TypeLib"));

    // A registration made by someone else survives our unregistration.
    ITypeLib* lib = nullptr;
    ASSERT_EQ(::LoadTypeLibEx(Wide(BuiltDllPath()).c_str(), REGKIND_REGISTER, &lib), S_OK);
    lib->Release();
    ASSERT_TRUE(KeyExists(classes.Root(), "TypeLib"));
    EXPECT_EQ(dll.UnregisterServer(), S_OK);
    EXPECT_TRUE(KeyExists(classes.Root(), "TypeLib"));
  }
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "TypeLib\\{B2D94A6E-3C17-4E85-9F0A-71C6E2D83B59}"));
  ::CoUninitialize();
}

// A string of the version information's one block (the Korean block), read wide, as UTF-8.
std::string VersionString(const std::vector<char>& info, const char* name) {
  void* value = nullptr;
  UINT length = 0;
  const std::wstring path = L"\\StringFileInfo\\041203B5\\" + Wide(name);
  if (!::VerQueryValueW(info.data(), path.c_str(), &value, &length) || !value) return "(none)";
  return Utf8(std::wstring(static_cast<const wchar_t*>(value)));
}

TEST(VersionInfo, ReadBackFromEveryDll) {
  for (const TDllCase& dll : DllCases()) {
    SCOPED_TRACE(dll.path);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(Wide(dll.path).c_str(), &ignored);
    ASSERT_GT(size, 0u) << "error " << ::GetLastError();
    std::vector<char> info(size);
    ASSERT_TRUE(::GetFileVersionInfoW(Wide(dll.path).c_str(), 0, size, info.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
    ASSERT_EQ(length, sizeof(VS_FIXEDFILEINFO));
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00010001u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

    WORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(length, 4u);
    EXPECT_EQ(translation[0], 0x0412);
    EXPECT_EQ(translation[1], 949);

    const struct { const char* name; const char* value; } strings[] = {
        {"FileVersion", "1.1.0.0"},
        {"ProductVersion", "1.1.0.0"},
        {"ProductName", "Quillo"},
        {"InternalName", "Quillo.dll"},
        {"OriginalFilename", "Quillo.dll"},
        {"LegalCopyright", "Copyright (C) 2026 the Quillo developers. All rights reserved."},
    };
    for (const auto& s : strings) EXPECT_EQ(VersionString(info, s.name), s.value) << s.name;
    EXPECT_NE(VersionString(info, "FileDescription"), "(none)");
    EXPECT_NE(VersionString(info, "FileDescription"), "");
  }
}

// The manifest resource of a binary, as text; empty when it has none.
std::string ManifestOf(const std::string& path, int id) {
  HMODULE m = ::LoadLibraryExW(Wide(path).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (!m) return "";
  std::string text;
  if (HRSRC r = ::FindResourceW(m, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(24)))
    if (HGLOBAL g = ::LoadResource(m, r))
      text.assign(static_cast<const char*>(::LockResource(g)), ::SizeofResource(m, r));
  ::FreeLibrary(m);
  return text;
}

TEST(Manifest, EveryBinaryAsksForItsOwn) {
  const char kComCtl6[] = "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"";
  struct Case { std::string path; int id; std::vector<std::string> has; };
  std::vector<Case> cases;
  // The libraries' resource 3 is what their UI thread activates; none is 2, which the loader
  // would turn into a context at every load.
  for (const TDllCase& dll : DllCases()) {
    EXPECT_EQ(ManifestOf(dll.path, 2), "") << dll.path;
    cases.push_back({dll.path, 3, {kComCtl6}});
  }
  const std::vector<std::string> exe = {
      kComCtl6, "<supportedOS Id=\"{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}\"/>",
      ">PerMonitorV2</dpiAwareness>", ">true/pm</dpiAware>"};
  if (sizeof(void*) == 8) cases.push_back({TestProgramDir() + "\\QuilloNote.exe", 1, exe});
  if (!ShippedPath("x64\\QuilloNote.exe").empty())
    cases.push_back({ShippedPath("x64\\QuilloNote.exe"), 1, exe});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const std::string manifest = ManifestOf(c.path, c.id);
    ASSERT_FALSE(manifest.empty()) << "no manifest " << c.id;
    for (const std::string& entry : c.has) EXPECT_NE(manifest.find(entry), std::string::npos) << entry;
    // The notes stay in the system's ANSI code page.
    EXPECT_EQ(manifest.find("activeCodePage"), std::string::npos);
  }
}

}  // namespace
