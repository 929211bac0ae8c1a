// The type library carried as TYPELIB 1: read back from the DLL, and never registered.
#include <gtest/gtest.h>
#include <windows.h>
#include <oleauto.h>

#include <string>

#include "resources/Quillo_TLB.h"
#include "support/uComTestSupport.h"

namespace {

std::wstring Wide(const std::string& s) { return std::wstring(s.begin(), s.end()); }

struct TBstr {
  BSTR s = nullptr;
  ~TBstr() { ::SysFreeString(s); }
  std::wstring str() const { return s ? std::wstring(s) : std::wstring(); }
};

TEST(TypeLib, ResourceAttributes) {
  ASSERT_TRUE(SUCCEEDED(::CoInitialize(nullptr)));
  {
    ITypeLib* lib = nullptr;
    ASSERT_EQ(::LoadTypeLibEx(Wide(BuiltDllPath()).c_str(), REGKIND_NONE, &lib), S_OK);
    TLIBATTR* attr = nullptr;
    ASSERT_EQ(lib->GetLibAttr(&attr), S_OK);
    const GUID libid = {0xB2D94A6E, 0x3C17, 0x4E85,
                        {0x9F, 0x0A, 0x71, 0xC6, 0xE2, 0xD8, 0x3B, 0x59}};
    EXPECT_TRUE(::IsEqualGUID(attr->guid, libid));
    EXPECT_TRUE(::IsEqualGUID(attr->guid, LIBID_Quillo));
    EXPECT_EQ(attr->lcid, 0u);
    EXPECT_EQ(attr->syskind, SYS_WIN32);
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
  HMODULE dll = ::LoadLibraryExA(BuiltDllPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
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

}  // namespace
