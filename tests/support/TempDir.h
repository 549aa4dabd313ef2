// A fresh directory under the system's temporary folder for one test, removed with everything
// in it when the object goes out of scope. Path() ends with '/', as the host's own directories do.
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return FPath; }
  // Path of a file inside the directory.
  std::string File(const std::string& name) const { return FPath + name; }

 private:
  std::string FPath;
};

// Whole-file helpers for tests: bytes in, bytes out, no text conversion.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);
