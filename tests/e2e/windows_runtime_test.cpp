// The Windows module in a process it shares with other compilers' runtimes:
// the host may have loaded MinGW's shared libgcc (whose unwinder then claims
// the module's frames, so that a throw would end the process), and loads and
// unloads plug-ins many times (where each throw would leave a TLS index
// behind). The module's memory is made to run out through its own import
// table: its builds must fail as the host expects, with nothing thrown.
#ifdef _WIN32

#include <windows.h>

#include <cstring>

#include "evaluate_fixture.h"

namespace korv::testing {
namespace {

// The shared libgcc of the cross compiler, copied beside the test programs.
#ifdef _WIN64
constexpr const char *kSharedLibgcc = "libgcc_s_seh-1.dll";
#else
constexpr const char *kSharedLibgcc = "libgcc_s_dw2-1.dll";
#endif

void *refuse_size(std::size_t) {
  return nullptr;
}
void *refuse_count(std::size_t, std::size_t) {
  return nullptr;
}
void *refuse_resize(void *, std::size_t) {
  return nullptr;
}

// Points the module's import of name at replacement; false when the module
// imports no such function.
bool patch_import(HMODULE module, const char *name, void *replacement) {
  auto *base = reinterpret_cast<unsigned char *>(module);
  const auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(
      base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY &imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  for (auto *dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress);
       dll->Name != 0; ++dll) {
    auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->OriginalFirstThunk);
    auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
          std::strcmp(
              reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData)->Name,
              name) != 0) {
        continue;
      }
      DWORD was = 0;
      VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), PAGE_READWRITE, &was);
      slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
      VirtualProtect(&slots->u1.Function, sizeof(slots->u1.Function), was, &was);
      return true;
    }
  }
  return false;
}

class ForeignRuntime : public EvaluateTest {
 protected:
  static void SetUpTestSuite() { shared_libgcc_ = LoadLibraryA(kSharedLibgcc); }

  void SetUp() override {
    if (shared_libgcc_ == nullptr) {
      GTEST_SKIP() << kSharedLibgcc << " is not beside the test program";
    }
    EvaluateTest::SetUp();
  }

  // From now on every allocation of the loaded module fails.
  void starve_module() {
    const HMODULE module = GetModuleHandleA("Korv_Edge.p");
    ASSERT_NE(module, nullptr);
    ASSERT_TRUE(patch_import(module, "malloc", reinterpret_cast<void *>(refuse_size)));
    patch_import(module, "calloc", reinterpret_cast<void *>(refuse_count));
    ASSERT_TRUE(patch_import(module, "realloc", reinterpret_cast<void *>(refuse_resize)));
  }

  // A sample in the band of the cube's edge, evaluated with the module
  // starved: it must come back as it went in.
  void expect_refused_build() {
    set({"out_channel=1"});
    const LWShaderAccess before = cube_top(0.995);
    starve_module();
    session_->init();
    session_->new_time(0, 0.0);
    EXPECT_TRUE(same_bits(evaluated(before), before));
    session_->cleanup();
  }

  static HMODULE shared_libgcc_;
};
HMODULE ForeignRuntime::shared_libgcc_ = nullptr;

TEST_F(ForeignRuntime, ABuildOutOfMemoryLeavesTheSampleAndTheHostRunning) {
  expect_refused_build();
}

// Each cycle loads the module, fails a build for want of memory and unloads
// it: a module that made a TLS index per load (the C++ runtime does at a
// first throw) would have run out of them long before the end.
TEST_F(ForeignRuntime, LoadFailUnloadCyclesLeaveTheTlsIndexesAsTheyWere) {
  const DWORD first_free = TlsAlloc();
  ASSERT_NE(first_free, TLS_OUT_OF_INDEXES);
  TlsFree(first_free);
  for (int cycle = 0; cycle < 2000 && !HasFailure(); ++cycle) {
    if (cycle > 0) {
      std::string error;
      session_ = host::ShaderSession::open(host::default_module_path(), error);
      ASSERT_NE(session_, nullptr) << error;
    }
    expect_refused_build();
    session_.reset();
  }
  const DWORD now_free = TlsAlloc();
  TlsFree(now_free);
  EXPECT_EQ(now_free, first_free);
}

}  // namespace
}  // namespace korv::testing

#endif  // _WIN32
