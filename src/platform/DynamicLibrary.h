// TDynamicLibrary owns one handle of a shared library loaded at run time (dlopen on Linux,
// LoadLibrary on Windows): the library stays loaded exactly as long as the object lives, and the
// addresses Symbol returns are valid only for that long.
//
// A library that cannot be loaded is no error to the caller: the object is then empty, Loaded()
// is false and Error() tells why, in the platform's own words (which name the file).
//
// Thread safety: after construction the object is only read; any number of threads may call
// Symbol at the same time (the platform's lookup is thread-safe).
#pragma once

#include <string>

class TDynamicLibrary {
 public:
  // Loads the library at `path` with every symbol resolved at once, so that a library with an
  // unresolved dependency fails here instead of on its first call.
  explicit TDynamicLibrary(std::string path);
  ~TDynamicLibrary();
  TDynamicLibrary(const TDynamicLibrary&) = delete;
  TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

  bool Loaded() const { return FHandle != nullptr; }
  const std::string& Path() const { return FPath; }
  // Why the library could not be loaded; empty when it was.
  const std::string& Error() const { return FError; }

  // The address of an exported symbol; nullptr when the library is not loaded or does not export
  // it. With `error` given, it receives the platform's reason on failure and is cleared otherwise.
  void* Symbol(const std::string& name, std::string* error = nullptr) const;

 private:
  const std::string FPath;
  std::string FError;
  void* FHandle = nullptr;
};
