// Devices of the police registration, member card and hand tag kinds for tests: each answers as
// told and records every call with its arguments, as "Name(arg,arg,...)". Thread-safe, so that
// tests over several connections can share one.
#pragma once

#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "kinds/BaseHandUnit.h"
#include "kinds/BaseMemberUnit.h"
#include "kinds/BasePoliceUnit.h"

// The record of calls shared by the fakes.
class TCallLog {
 public:
  std::vector<std::string> Calls() const;
  void Clear();

 protected:
  void Record(const std::string& call);

 private:
  mutable std::mutex FLock;
  std::vector<std::string> FCalls;
};

class TFakeMember : public TBaseMember, public TCallLog {
 public:
  // What WriteMemberCard, ReadMemberCard and PrintMemberCard answer.
  bool Result = true;
  // What ReadMemberCard hands back, whatever it answers.
  std::string CardNo = "M1001", Password = "pw", ExpireDate = "2030-12-31", GuestName = "张三",
              Score = "120";

  void ShowOptionForm() override;
  bool OpenPort() override;
  bool ClosePort() override;
  void Beep() override;
  bool WriteMemberCard(std::string CardNo, std::string Text1, std::string Text2, std::string Text3,
                       std::int32_t Channel) override;
  bool ReadMemberCard(bool Flag, std::string& CardNo, std::string& Password,
                      std::string& ExpireDate, std::string& GuestName, std::string& Score,
                      std::int32_t Channel) override;
  bool PrintMemberCard(std::string CardNo, std::string Text) override;
};

class TFakeHand : public TBaseHand, public TCallLog {
 public:
  // What IssueHand, ReadHand and EraseHand answer, and the number they hand back whatever they
  // answer.
  bool Result = true;
  std::string HandNo = "H0042";

  void ShowOptionForm() override;
  bool OpenPort() override;
  void Beep() override;
  bool ClosePort() override;
  bool IssueHand(std::string& HandNo) override;
  bool ReadHand(std::string& HandNo) override;
  bool EraseHand(std::string& HandNo) override;
};

class TFakePolice : public TBasePolice, public TCallLog {
 public:
  // The guest GetGuest hands out; none when empty.
  std::optional<TPoliceGuest> Guest;

  void ShowOptionForm() override;
  const TPoliceGuest* GetGuest() override;
};
