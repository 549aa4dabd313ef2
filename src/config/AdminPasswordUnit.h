// The rules of the administrator password, apart from its dialogs: how an entry is compared
// with SysOption->Password and how a new password is taken. The password dialogs only read
// their entries, call these and show the outcome.
//
// Main thread only: SysOption->Password is read and written nowhere else (listener threads
// never look at it).
#pragma once

#include <string>
#include <string_view>

// The text without its leading and trailing bytes 0 to 32 (blanks and control characters).
// Blanks inside stay. Only ASCII bytes are removed, so a UTF-8 text stays well-formed.
std::string TrimBlanks(std::string_view text);

// True when the entry, trimmed, equals SysOption->Password byte for byte (case matters).
bool PasswordAccepted(std::string_view entry);

enum class TPasswordChange { EntriesDiffer, Saved };

// Takes a new administrator password from its two entries, both trimmed. Entries that differ
// change nothing. Equal entries (two empty ones included: there is no rule on length or
// content) become SysOption->Password, which takes effect at once, and then every system option
// is saved. A failed save throws Save's exception; the running host keeps the new password all
// the same, while Option.ini keeps the old one for the next start.
TPasswordChange ChangeAdministratorPassword(std::string_view entry, std::string_view confirm);
