// TComApartment brackets a piece of work with COM initialisation of the calling thread as a
// multithreaded apartment, for libraries that expect COM on the thread that calls them. The
// constructor initialises, the destructor uninitialises, also when the work ends by an
// exception. On platforms without COM the guard does nothing.
//
// A thread already initialised as a single-threaded apartment (the main thread, where the card
// record store lives) refuses the multithreaded initialisation; the guard then leaves the thread
// as it is and does not uninitialise on leaving, which would tear down the record store's
// apartment. Whether the work itself succeeds on such a thread is the library's affair.
//
// Thread safety: a guard belongs to the thread that created it and must end on that thread.
#pragma once

#ifdef _WIN32
#include <objbase.h>
#endif

class TComApartment {
 public:
#ifdef _WIN32
  TComApartment() : FInitialized(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ~TComApartment() {
    if (FInitialized) CoUninitialize();
  }
#else
  // User-provided, so that a guard that does nothing still reads as used where it is declared.
  TComApartment() {}
  ~TComApartment() {}
#endif
  TComApartment(const TComApartment&) = delete;
  TComApartment& operator=(const TComApartment&) = delete;

#ifdef _WIN32
 private:
  const bool FInitialized;
#endif
};
