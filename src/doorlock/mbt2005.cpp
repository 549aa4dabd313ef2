#include "doorlock/mbt2005.h"

#include "platform/DynamicLibrary.h"

namespace {

template <typename Proc>
void Resolve(const TDynamicLibrary& library, const char* name, Proc& proc) {
  proc = reinterpret_cast<Proc>(library.Symbol(name));
}

}  // namespace

std::vector<std::string> MissingFunctions(const TMbt2005Api& api) {
  std::vector<std::string> missing;
  if (api.SetConfiguration == nullptr) missing.push_back("SetConfiguration");
  if (api.EncodeCard == nullptr) missing.push_back("EncodeCard");
  if (api.ReadCard == nullptr) missing.push_back("ReadCard");
  if (api.CancelCard == nullptr) missing.push_back("CancelCard");
  if (api.GetErrorStatus == nullptr) missing.push_back("GetErrorStatus");
  if (api.GetCardSnrAfterEncode == nullptr) missing.push_back("GetCardSnrAfterEncode");
  if (api.RenewGuestInfo == nullptr) missing.push_back("RenewGuestInfo");
  return missing;
}

TMbt2005Api LoadMbt2005Api(const std::string& directory) {
  std::string path = directory;
  if (!path.empty() && path.back() != '/' && path.back() != '\\') path += '/';
  path += kMbt2005LibraryName;

  TMbt2005Api api;
  api.LibraryName = path;
  auto library = std::make_shared<const TDynamicLibrary>(path);
  if (!library->Loaded()) {
    api.LoadError = library->Error();
    return api;
  }
  Resolve(*library, "SetConfiguration", api.SetConfiguration);
  Resolve(*library, "EncodeCard", api.EncodeCard);
  Resolve(*library, "ReadCard", api.ReadCard);
  Resolve(*library, "CancelCard", api.CancelCard);
  Resolve(*library, "GetErrorStatus", api.GetErrorStatus);
  Resolve(*library, "GetCardSnrAfterEncode", api.GetCardSnrAfterEncode);
  Resolve(*library, "RenewGuestInfo", api.RenewGuestInfo);
  api.Library = std::move(library);
  return api;
}
