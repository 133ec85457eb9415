// The OpenGL door, loaded with LD_PRELOAD: glXSwapBuffers and eglSwapBuffers,
// however the program finds them (linked, glXGetProcAddress(ARB),
// eglGetProcAddress, or dlsym on a library it opened itself). Each finds
// the real function once, times the call and calls through.
//
// The GL types are spelled as the ABI sees them (pointers and integers), so
// that no GL header's declarations get in the way of these definitions.
#include <dlfcn.h>
#include <link.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "session.h"

#define ZEL_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using Dlsym = void* (*)(void*, const char*);
using GlxSwap = void (*)(void*, unsigned long);
using GlxGetProc = void* (*)(const unsigned char*);
using EglSwap = unsigned (*)(void*, void*);
using EglGetProc = void* (*)(const char*);

// The dynamic linker's types for this process's word size.
using Addr = decltype(link_map::l_addr);
using Dyn = std::remove_pointer_t<decltype(link_map::l_ld)>;
using Sym = std::conditional_t<sizeof(void*) == 8, Elf64_Sym, Elf32_Sym>;

// An address in the process, as the dynamic linker gives them.
const char* Pointer(Addr address) {
  return reinterpret_cast<const char*>(address);  // NOLINT(performance-no-int-to-ptr)
}

// `name` where `object` itself defines it, read from its dynamic symbol
// table (its GNU hash), or null. Asking the dynamic linker instead would
// start objects it has not started yet.
void* DefinedIn(const link_map* object, const char* name) {
  const auto at = [object](Addr address) {
    // The dynamic linker has relocated these addresses, except in the vDSO.
    return Pointer(address < object->l_addr ? address + object->l_addr : address);
  };
  const Sym* symbols = nullptr;
  const char* strings = nullptr;
  const std::uint32_t* hash = nullptr;
  for (const Dyn* entry = object->l_ld; entry != nullptr && entry->d_tag != DT_NULL; ++entry) {
    if (entry->d_tag == DT_SYMTAB) symbols = reinterpret_cast<const Sym*>(at(entry->d_un.d_ptr));
    if (entry->d_tag == DT_STRTAB) strings = reinterpret_cast<const char*>(at(entry->d_un.d_ptr));
    if (entry->d_tag == DT_GNU_HASH)
      hash = reinterpret_cast<const std::uint32_t*>(at(entry->d_un.d_ptr));
  }
  if (symbols == nullptr || strings == nullptr || hash == nullptr || hash[0] == 0) return nullptr;
  std::uint32_t wanted = 5381;
  for (const char* c = name; *c != '\0'; ++c) wanted = wanted * 33 + static_cast<unsigned char>(*c);
  const std::uint32_t buckets = hash[0], first = hash[1], blooms = hash[2];
  const auto* bucket =
      reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const Addr*>(hash + 4) + blooms);
  const std::uint32_t* chain = bucket + buckets;
  std::uint32_t index = bucket[wanted % buckets];
  if (index < first) return nullptr;
  for (;; ++index) {
    const std::uint32_t entry = chain[index - first];
    const Sym& symbol = symbols[index];
    if ((entry | 1) == (wanted | 1) && std::strcmp(strings + symbol.st_name, name) == 0 &&
        symbol.st_shndx != SHN_UNDEF && symbol.st_value != 0) {
      return const_cast<char*>(Pointer(object->l_addr + symbol.st_value));
    }
    if ((entry & 1) != 0) return nullptr;
  }
}

// The next dlsym after this library's: another hook's, preloaded after
// this one, or else the C library's. Found without calling dlsym (which is
// this library's own, below).
Dlsym RealDlsym() {
  static const Dlsym real = [] {
    void* libc = dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.34");
    if (libc == nullptr) libc = dlvsym(RTLD_NEXT, "dlsym", "GLIBC_2.2.5");
    Dl_info self{};
    link_map* own = nullptr;
    if (dladdr1(reinterpret_cast<void*>(&RealDlsym), &self, reinterpret_cast<void**>(&own),
                RTLD_DL_LINKMAP) != 0 &&
        own != nullptr) {
      for (const link_map* next = own->l_next; next != nullptr; next = next->l_next) {
        if (void* found = DefinedIn(next, "dlsym")) return reinterpret_cast<Dlsym>(found);
      }
    }
    return reinterpret_cast<Dlsym>(libc);
  }();
  return real;
}

// One real function: set by whichever lookup finds it first.
struct Real {
  const char* name;
  const char* library;  // where to look when the program opened it privately
  std::atomic<void*> function{nullptr};

  void* Get() {
    void* found = function.load(std::memory_order_acquire);
    if (found != nullptr) return found;
    found = RealDlsym()(RTLD_NEXT, name);
    if (found == nullptr) {
      if (void* handle = dlopen(library, RTLD_LAZY | RTLD_NOLOAD)) {
        found = RealDlsym()(handle, name);
        dlclose(handle);
      }
    }
    Offer(found);
    return function.load(std::memory_order_acquire);
  }
  void Offer(void* found) {
    void* none = nullptr;
    if (found != nullptr) function.compare_exchange_strong(none, found, std::memory_order_acq_rel);
  }
};

Real g_glxSwap{"glXSwapBuffers", "libGL.so.1"};
Real g_glxGetProc{"glXGetProcAddress", "libGL.so.1"};
Real g_glxGetProcArb{"glXGetProcAddressARB", "libGL.so.1"};
Real g_eglSwap{"eglSwapBuffers", "libEGL.so.1"};
Real g_eglGetProc{"eglGetProcAddress", "libEGL.so.1"};

// A swap chain's key: the display's pointer with the drawable or surface.
std::uint64_t Key(const void* display, std::uint64_t drawable) {
  return (reinterpret_cast<std::uintptr_t>(display) * 0x100000001b3u) ^ drawable;
}

}  // namespace

ZEL_EXPORT void glXSwapBuffers(void* display, unsigned long drawable) {
  const auto real = reinterpret_cast<GlxSwap>(g_glxSwap.Get());
  if (real == nullptr) return;
  zel_capture::Session* session = zel_capture::ProcessSession();
  if (session == nullptr) return real(display, drawable);
  const zel_capture::PresentScope scope;
  real(display, drawable);
  if (scope.Outer()) session->Record(Key(display, drawable), scope.Call(), zel_capture::Now());
}

ZEL_EXPORT unsigned eglSwapBuffers(void* display, void* surface) {
  const auto real = reinterpret_cast<EglSwap>(g_eglSwap.Get());
  if (real == nullptr) return 0;
  zel_capture::Session* session = zel_capture::ProcessSession();
  if (session == nullptr) return real(display, surface);
  const zel_capture::PresentScope scope;
  const unsigned done = real(display, surface);
  if (scope.Outer() && done != 0) {
    session->Record(Key(display, reinterpret_cast<std::uintptr_t>(surface)), scope.Call(),
                    zel_capture::Now());
  }
  return done;
}

namespace {

// This library's function for a name the program looks up, or null.
void* Hook(const char* name) {
  if (std::strcmp(name, "glXSwapBuffers") == 0) return reinterpret_cast<void*>(&glXSwapBuffers);
  if (std::strcmp(name, "eglSwapBuffers") == 0) return reinterpret_cast<void*>(&eglSwapBuffers);
  return nullptr;
}

Real* RealOf(const char* name) {
  for (Real* real : {&g_glxSwap, &g_eglSwap, &g_glxGetProc, &g_glxGetProcArb, &g_eglGetProc}) {
    if (std::strcmp(name, real->name) == 0) return real;
  }
  return nullptr;
}

void* GlxLookup(Real& own, const unsigned char* name) {
  const auto real = reinterpret_cast<GlxGetProc>(own.Get());
  void* found = real == nullptr ? nullptr : real(name);
  if (found == nullptr || name == nullptr) return found;
  const char* text = reinterpret_cast<const char*>(name);
  void* hook = Hook(text);
  if (hook == nullptr) return found;
  if (found != hook) RealOf(text)->Offer(found);
  return hook;
}

}  // namespace

ZEL_EXPORT void* glXGetProcAddress(const unsigned char* name) {
  return GlxLookup(g_glxGetProc, name);
}

ZEL_EXPORT void* glXGetProcAddressARB(const unsigned char* name) {
  return GlxLookup(g_glxGetProcArb, name);
}

ZEL_EXPORT void* eglGetProcAddress(const char* name) {
  const auto real = reinterpret_cast<EglGetProc>(g_eglGetProc.Get());
  void* found = real == nullptr ? nullptr : real(name);
  if (found == nullptr || name == nullptr) return found;
  void* hook = Hook(name);
  if (hook == nullptr) return found;
  if (found != hook) RealOf(name)->Offer(found);
  return hook;
}

namespace {

void* GetProcHook(const char* name) {
  if (std::strcmp(name, "glXGetProcAddress") == 0) {
    return reinterpret_cast<void*>(&glXGetProcAddress);
  }
  if (std::strcmp(name, "glXGetProcAddressARB") == 0) {
    return reinterpret_cast<void*>(&glXGetProcAddressARB);
  }
  if (std::strcmp(name, "eglGetProcAddress") == 0) {
    return reinterpret_cast<void*>(&eglGetProcAddress);
  }
  return Hook(name);
}

}  // namespace

// A lookup with RTLD_NEXT is another hook finding what comes after it: it is
// passed on untouched, as a tail call, so that "next" still means next after
// the caller.
ZEL_EXPORT void* dlsym(void* handle, const char* name) {
  const Dlsym real = RealDlsym();
  if (handle != RTLD_NEXT) {
    if (void* hook = GetProcHook(name)) {
      void* found = real(handle, name);
      if (found == nullptr) return nullptr;
      // The global scope finds this library's own function first.
      if (found != hook) RealOf(name)->Offer(found);
      return hook;
    }
  }
  return real(handle, name);
}

// Written at exit, and at return from main.
__attribute__((destructor)) static void FinishAtExit() { zel_capture::FinishProcessSession(); }
