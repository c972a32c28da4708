// The built shared library, loaded as a caller loads it: its exports are
// there by name with C linkage and answer by their own conventions.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "platform/unique_handle.h"

namespace {

using RegProductFn = std::int32_t (*)(const char16_t*, const char16_t*);
using ChangeFileExtAssociationFn = std::int32_t (*)(const char16_t*, const char16_t*);
using SendAssocChangedNotifyFn = std::int32_t (*)();
using PopupFileAssocListDialogFn = std::int32_t (*)(const char16_t*);

class SharedLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    library_.Reset(::dlopen(TOLVANE_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL));
    ASSERT_TRUE(library_) << ::dlerror();
  }
  template <typename Fn>
  Fn Export(const char* name) {
    return reinterpret_cast<Fn>(::dlsym(library_.get(), name));
  }

  struct LibraryTraits {
    using Handle = void*;
    static void* Invalid() { return nullptr; }
    int Close(void* handle) const { return ::dlclose(handle); }
  };
  tolvane::UniqueHandle<LibraryTraits> library_;
};

TEST_F(SharedLibraryTest, ExportsAnswerByTheirConventions) {
  const auto regProduct = Export<RegProductFn>("RegProduct");
  const auto change = Export<ChangeFileExtAssociationFn>("ChangeFileExtAssociation");
  const auto notify = Export<SendAssocChangedNotifyFn>("SendAssocChangedNotify");
  ASSERT_NE(regProduct, nullptr);
  ASSERT_NE(change, nullptr);
  ASSERT_NE(notify, nullptr);

  EXPECT_EQ(regProduct(u"CleanOpenAlways", u"C:\\Suite\\Bin\\"), 0);
  EXPECT_EQ(regProduct(u"CleanOpenAlways", nullptr), 0);
  EXPECT_EQ(regProduct(u"COMMON2007_MODULE", u"C:\\"), 1016);
  EXPECT_EQ(regProduct(nullptr, nullptr), 1016);
  // The library's own registry starts empty: no class to associate with.
  EXPECT_EQ(change(u".zdw", u"Zdw.Document.8"), 5);
  EXPECT_EQ(change(u"zdw", u"Zdw.Document.8"), 5);
  EXPECT_EQ(regProduct(u"ZDW2008_FILE_EXT", u"C:\\Suite\\Bin\\"), 0);
  EXPECT_EQ(change(u".zdw", u"Zdw.Document.8"), 0);
  EXPECT_EQ(notify(), 0);
  // No windowing toolkit here: the dialog cannot open; the result is 0 all the same.
  const auto popup = Export<PopupFileAssocListDialogFn>("PopupFileAssocListDialog");
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup(u"W=.zml:Zdw.Document.8"), 0);
  EXPECT_EQ(popup(nullptr), 0);
}

TEST_F(SharedLibraryTest, ExportsOnlyTheLibrarysEntryPoints) {
  // Internal functions stay hidden: a caller cannot bind to them.
  EXPECT_EQ(::dlsym(library_.get(), "_ZN7tolvane10RegProductERNS_8PlatformEPKDsS4_"), nullptr);
}

}  // namespace
