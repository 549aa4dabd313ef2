// The police registration device and its guest record. With the police registration kind the
// host answers every request with the guest that the device holds at that moment; the main
// window's Test command shows the same guest text. The device itself is not part of the host: a
// start routine that selects the police registration kind supplies an implementation in
// PoliceDevice, which this program never does.
//
// Thread safety: an implementation need not be thread-safe. Every caller in the host holds
// LockPoliceDevice() from GetGuest until it has done with the record, so one caller at a time
// reaches the device and its record from the connection threads and the main window;
// ShowOptionForm alone is called without it (a modal dialog must not hold requests up).
// BuildGuestXml has no state of its own.
#pragma once

#include <mutex>
#include <string>

// One guest as the device registered it; UTF-8 texts. The host reads ten of the twelve fields.
struct TPoliceGuest {
  std::string RoomNo;
  std::string EnterTime;  // as text; the host does not parse it
  std::string Extra1;     // the device's own; the host never reads it
  std::string IdCardNo;   // number of the identity document
  std::string Name;
  std::string Nationality;
  std::string GenderID;  // the decimal text of an integer; SalutationID is derived from it
  std::string Extra2;    // the device's own; the host never reads it
  std::string CountryCode;
  std::string ProvinceCode;
  std::string Address;
  std::string Birthday;  // as text; the host does not parse it
};

class TBasePolice {
 public:
  TBasePolice() = default;
  virtual ~TBasePolice() = default;
  TBasePolice(const TBasePolice&) = delete;
  TBasePolice& operator=(const TBasePolice&) = delete;

  // The device's own settings dialog, for the main window's Option command.
  virtual void ShowOptionForm() {}
  // The guest at hand, or none. The record stays the device's: callers neither release it nor
  // keep it beyond the request or command that fetched it.
  virtual const TPoliceGuest* GetGuest() { return nullptr; }
};

// The police registration device in use, or none; not owning. Set only by a start routine that
// selects the police registration kind, before the listener starts; never by this program.
extern TBasePolice* PoliceDevice;

// Held from GetGuest until the caller has done with the record.
std::unique_lock<std::mutex> LockPoliceDevice();

// "<Guest><RoomNo>…</RoomNo><EnterTime>…</EnterTime><IdCardTypeID>11</IdCardTypeID>"
// "<IdCardNo>…</IdCardNo><Name>…</Name><Nationality>…</Nationality><GenderID>…</GenderID>"
// "<SalutationID>…</SalutationID><CountryCode>…</CountryCode><ProvinceCode>…</ProvinceCode>"
// "<Address>…</Address><Birthday>…</Birthday></Guest>" with nothing between the pieces and no
// XML declaration. The document type is always 11; SalutationID is GenderID read as an integer,
// plus one. Every field value is XML-escaped, so that a name or an address holding "<" or "&"
// can neither break the document nor add elements to it. Throws EConvertError when GenderID is
// not the text of a 32-bit integer.
std::string BuildGuestXml(const TPoliceGuest& guest);
