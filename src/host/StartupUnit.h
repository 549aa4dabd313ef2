// The host's process-wide objects and the order in which they come to life.
//
// InitializeUnits creates, in this order, Option and SysOption (both on "Option.ini" in the
// given directory, loaded at once), then LogFile (named after today's date), then the card
// record store; FinalizeUnits releases them in reverse. The entry calls both once; tests call
// them with a temporary directory, and may call them again for a fresh set.
//
// Not thread-safe: call on the main thread, before any connection thread exists and after the
// last one has ended.
#pragma once

#include <atomic>
#include <string>

// 1 door lock, 2 police registration, 3 member card, 4 hand tag; 0 until RunHost sets it. Written
// before the listener starts, read from any thread.
extern std::atomic<int> InterfaceKind;

// The directory of the running executable, with its trailing separator: the host's Option.ini,
// database and daily logs live there.
std::string ExecutableDirectory();

void InitializeUnits(const std::string& directory);
void FinalizeUnits();
