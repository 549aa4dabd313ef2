// The card encoder library of the lock system, as the host reaches it: the seven functions it
// exports, their calling convention and argument types, and a loader that looks them up by name
// at run time. The host never links against the library, so the vendor's library or our
// simulator (encoder-sim/) can sit beside the executable without a rebuild.
//
// The call contract, shared by every implementation of the library:
// - texts are NUL-terminated 8-bit strings; a truth-value result is an int whose low 8 bits
//   decide (non-zero = success), so a library that leaves garbage in the upper bits still works;
// - ReadCard fills caller buffers of 128, 256 and 256 bytes and one 32-bit integer;
//   GetCardSnrAfterEncode fills a 128-byte buffer with the serial number of the card on the
//   encoder; GetErrorStatus fills an int with the last error's code and a text buffer with its
//   text (the host gives kMbt2005ErrorTextSize bytes); a library writes no further than that;
// - CancelCard's argument is always 0, EncodeCard's last two texts are always empty.
//
// This header needs nothing but the standard library, so that the simulator can check its own
// exports against these types.
//
// Thread safety: a TMbt2005Api is a plain value; once filled it is only read, by any thread.
// Whether the library's functions may run on several threads at once is the library's affair;
// the host lets one device operation at a time reach it.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#ifdef _WIN32
#define MBT2005_CALL __stdcall
#else
#define MBT2005_CALL
#endif

static_assert(sizeof(int) == 4, "the library's integers are 32 bits wide");

extern "C" {
using TSetConfigurationProc = int(MBT2005_CALL*)(const char* dataSource, const char* userName,
                                                 const char* password);
using TEncodeCardProc = int(MBT2005_CALL*)(const char* roomNo, const char* startTime,
                                           const char* endTime, const char* reserved1,
                                           const char* reserved2);
using TReadCardProc = int(MBT2005_CALL*)(char* buffer128, char* buffer256a, char* buffer256b,
                                         int* value);
using TCancelCardProc = int(MBT2005_CALL*)(int which);
using TGetErrorStatusProc = void(MBT2005_CALL*)(int* code, char* text);
using TGetCardSnrAfterEncodeProc = void(MBT2005_CALL*)(char* serial128);
using TRenewGuestInfoProc = void(MBT2005_CALL*)(const char* roomNo);
}

constexpr std::size_t kMbt2005SerialSize = 128;
constexpr std::size_t kMbt2005ReadBuffer1Size = 128;
constexpr std::size_t kMbt2005ReadBuffer2Size = 256;
constexpr std::size_t kMbt2005ReadBuffer3Size = 256;
constexpr std::size_t kMbt2005ErrorTextSize = 1024;

#ifdef _WIN32
constexpr char kMbt2005LibraryName[] = "mbt2005.dll";
#else
constexpr char kMbt2005LibraryName[] = "libmbt2005.so";
#endif

class TDynamicLibrary;

// The library's functions. A null entry is a function the library does not export (or, with
// LoadError set, a library that could not be loaded); a test fills the table with its own fakes.
struct TMbt2005Api {
  TSetConfigurationProc SetConfiguration = nullptr;
  TEncodeCardProc EncodeCard = nullptr;
  TReadCardProc ReadCard = nullptr;
  TCancelCardProc CancelCard = nullptr;
  TGetErrorStatusProc GetErrorStatus = nullptr;
  TGetCardSnrAfterEncodeProc GetCardSnrAfterEncode = nullptr;
  TRenewGuestInfoProc RenewGuestInfo = nullptr;

  // The library the functions come from, as log lines name it: its path when loaded from a file.
  std::string LibraryName = kMbt2005LibraryName;
  // Why the library could not be loaded; empty when it was, and for a table filled by hand.
  std::string LoadError;
  // Keeps the library loaded while any copy of the table exists.
  std::shared_ptr<const TDynamicLibrary> Library;
};

// The names of the functions the table lacks, in the order of the struct.
std::vector<std::string> MissingFunctions(const TMbt2005Api& api);

// Loads kMbt2005LibraryName from `directory` (with or without its trailing separator) and looks
// up the seven functions. Never throws for a missing or broken library: the result then has
// LoadError set, or null entries for the functions that are missing.
TMbt2005Api LoadMbt2005Api(const std::string& directory);
