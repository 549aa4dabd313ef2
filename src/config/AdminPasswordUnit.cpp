#include "config/AdminPasswordUnit.h"

#include "config/SysOptionUnit.h"

std::string TrimBlanks(std::string_view text) {
  auto blank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
  size_t first = 0;
  size_t last = text.size();
  while (first < last && blank(text[first])) ++first;
  while (last > first && blank(text[last - 1])) --last;
  return std::string(text.substr(first, last - first));
}

bool PasswordAccepted(std::string_view entry) {
  return TrimBlanks(entry) == SysOption->Password;
}

TPasswordChange ChangeAdministratorPassword(std::string_view entry, std::string_view confirm) {
  std::string password = TrimBlanks(entry);
  if (password != TrimBlanks(confirm)) return TPasswordChange::EntriesDiffer;
  SysOption->Password = std::move(password);
  SysOption->Save();
  return TPasswordChange::Saved;
}
