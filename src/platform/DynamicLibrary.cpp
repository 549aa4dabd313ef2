#include "platform/DynamicLibrary.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace {

#ifdef _WIN32
std::string LastErrorText() {
  char* text = nullptr;
  const DWORD code = GetLastError();
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result = text != nullptr ? text : "error " + std::to_string(code);
  LocalFree(text);
  while (!result.empty() && (result.back() == '\r' || result.back() == '\n')) result.pop_back();
  return result;
}
#else
// dlerror's text is per thread and is consumed by reading it.
std::string LastErrorText() {
  const char* text = dlerror();
  return text != nullptr ? text : "unknown error";
}
#endif

}  // namespace

TDynamicLibrary::TDynamicLibrary(std::string path) : FPath(std::move(path)) {
#ifdef _WIN32
  FHandle = reinterpret_cast<void*>(LoadLibraryA(FPath.c_str()));
  if (FHandle == nullptr) FError = FPath + ": " + LastErrorText();
#else
  dlerror();
  FHandle = dlopen(FPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (FHandle == nullptr) FError = LastErrorText();
#endif
}

TDynamicLibrary::~TDynamicLibrary() {
  if (FHandle == nullptr) return;
#ifdef _WIN32
  FreeLibrary(reinterpret_cast<HMODULE>(FHandle));
#else
  dlclose(FHandle);
#endif
}

void* TDynamicLibrary::Symbol(const std::string& name, std::string* error) const {
  if (error != nullptr) error->clear();
  if (FHandle == nullptr) {
    if (error != nullptr) *error = FError;
    return nullptr;
  }
#ifdef _WIN32
  void* address =
      reinterpret_cast<void*>(GetProcAddress(reinterpret_cast<HMODULE>(FHandle), name.c_str()));
  if (address == nullptr && error != nullptr) *error = name + ": " + LastErrorText();
#else
  dlerror();
  void* address = dlsym(FHandle, name.c_str());
  if (address == nullptr && error != nullptr) *error = LastErrorText();
#endif
  return address;
}
