#include "kinds/BasePoliceUnit.h"

#include <cstdint>

#include "kinds/KindRequestUnit.h"

TBasePolice* PoliceDevice = nullptr;

std::unique_lock<std::mutex> LockPoliceDevice() {
  static std::mutex lock;
  return std::unique_lock<std::mutex>(lock);
}

std::string BuildGuestXml(const TPoliceGuest& guest) {
  // Converted first, so that nothing is built for a guest whose GenderID is no integer; the sum
  // is taken in 64 bits, so the largest GenderID does not wrap.
  const std::int64_t salutation = std::int64_t{StrToInt32(guest.GenderID)} + 1;
  std::string xml;
  xml.reserve(400);
  auto element = [&xml](const char* name, const std::string& value) {
    xml += '<';
    xml += name;
    xml += '>';
    xml += value;
    xml += "</";
    xml += name;
    xml += '>';
  };
  xml += "<Guest>";
  element("RoomNo", XmlEscape(guest.RoomNo));
  element("EnterTime", XmlEscape(guest.EnterTime));
  element("IdCardTypeID", "11");
  element("IdCardNo", XmlEscape(guest.IdCardNo));
  element("Name", XmlEscape(guest.Name));
  element("Nationality", XmlEscape(guest.Nationality));
  element("GenderID", XmlEscape(guest.GenderID));
  element("SalutationID", std::to_string(salutation));
  element("CountryCode", XmlEscape(guest.CountryCode));
  element("ProvinceCode", XmlEscape(guest.ProvinceCode));
  element("Address", XmlEscape(guest.Address));
  element("Birthday", XmlEscape(guest.Birthday));
  xml += "</Guest>";
  return xml;
}
