#include "support/FakeKindDevices.h"

std::vector<std::string> TCallLog::Calls() const {
  std::lock_guard<std::mutex> guard(FLock);
  return FCalls;
}

void TCallLog::Clear() {
  std::lock_guard<std::mutex> guard(FLock);
  FCalls.clear();
}

void TCallLog::Record(const std::string& call) {
  std::lock_guard<std::mutex> guard(FLock);
  FCalls.push_back(call);
}

void TFakeMember::ShowOptionForm() {
  Record("ShowOptionForm()");
}

bool TFakeMember::OpenPort() {
  Record("OpenPort()");
  return true;
}

bool TFakeMember::ClosePort() {
  Record("ClosePort()");
  return true;
}

void TFakeMember::Beep() {
  Record("Beep()");
}

bool TFakeMember::WriteMemberCard(std::string cardNo, std::string text1, std::string text2,
                                  std::string text3, std::int32_t channel) {
  Record("WriteMemberCard(" + cardNo + "," + text1 + "," + text2 + "," + text3 + "," +
         std::to_string(channel) + ")");
  return Result;
}

bool TFakeMember::ReadMemberCard(bool flag, std::string& cardNo, std::string& password,
                                 std::string& expireDate, std::string& guestName,
                                 std::string& score, std::int32_t channel) {
  // The out texts arrive empty; a caller that passes anything else shows up here.
  Record("ReadMemberCard(" + std::string(flag ? "true" : "false") + "," + cardNo + password +
         expireDate + guestName + score + "," + std::to_string(channel) + ")");
  cardNo = CardNo;
  password = Password;
  expireDate = ExpireDate;
  guestName = GuestName;
  score = Score;
  return Result;
}

bool TFakeMember::PrintMemberCard(std::string cardNo, std::string text) {
  Record("PrintMemberCard(" + cardNo + "," + text + ")");
  return Result;
}

void TFakeHand::ShowOptionForm() {
  Record("ShowOptionForm()");
}

bool TFakeHand::OpenPort() {
  Record("OpenPort()");
  return true;
}

void TFakeHand::Beep() {
  Record("Beep()");
}

bool TFakeHand::ClosePort() {
  Record("ClosePort()");
  return true;
}

// The number arrives empty; a caller that passes anything else shows up in the record.
bool TFakeHand::IssueHand(std::string& handNo) {
  Record("IssueHand(" + handNo + ")");
  handNo = HandNo;
  return Result;
}

bool TFakeHand::ReadHand(std::string& handNo) {
  Record("ReadHand(" + handNo + ")");
  handNo = HandNo;
  return Result;
}

bool TFakeHand::EraseHand(std::string& handNo) {
  Record("EraseHand(" + handNo + ")");
  handNo = HandNo;
  return Result;
}

void TFakePolice::ShowOptionForm() {
  Record("ShowOptionForm()");
}

const TPoliceGuest* TFakePolice::GetGuest() {
  Record("GetGuest()");
  return Guest ? &*Guest : nullptr;
}
