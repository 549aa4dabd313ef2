#include "Requests.h"

#include <cstdio>

namespace {

std::string RequestId(int client, std::int64_t sequence) {
  return "B" + std::to_string(client) + "-" + std::to_string(sequence);
}

std::string RoomNoOf(int client) {
  char text[16];
  std::snprintf(text, sizeof text, "3%02d", client % 100);
  return text;
}

constexpr char kIssuedHead[] =
    "<DoorResponse><RequestID></RequestID><ResultCode>200</ResultCode><ResultMessage>"
    "发卡成功</ResultMessage><CardNo>";
constexpr char kTail[] = "</CardNo></DoorResponse>";

}  // namespace

std::string ReadCardRequest(int client, std::int64_t sequence) {
  return "<DoorRequest type=\"ReadCard\"><RequestID>" + RequestId(client, sequence) +
         "</RequestID></DoorRequest>";
}

std::string IssueCardRequest(int client, std::int64_t sequence, const std::string& keep) {
  std::string request =
      "<DoorRequest type=\"IssueCard\"><RequestID>" + RequestId(client, sequence) +
      "</RequestID><RegisterId>REG-" + RequestId(client, sequence) +
      "</RegisterId><Building>01</Building><Floor>02</Floor><RoomNo>" + RoomNoOf(client) +
      "</RoomNo><GuestName>张三</GuestName><InDate>2026-12-11</InDate>"
      "<InTime>14:00:00</InTime><OutDate>2026-12-13</OutDate>"
      "<OutTime>12:00:00</OutTime><IsCopy>0</IsCopy>";
  if (!keep.empty()) request += "<KeepConnection>" + keep + "</KeepConnection>";
  return request + "</DoorRequest>";
}

std::string RoomKeyOf(int client) {
  return "0102" + RoomNoOf(client);
}

std::string ReadCardAnswer(std::int64_t cardNo) {
  return "<DoorResponse><RequestID></RequestID><ResultCode>200</ResultCode><ResultMessage>"
         "读卡成功</ResultMessage><CardNo>" +
         std::to_string(cardNo) + kTail;
}

bool IsIssuedAnswer(const std::string& answer, std::int64_t& cardNo, std::string& why) {
  const std::string head = kIssuedHead, tail = kTail;
  if (answer.size() <= head.size() + tail.size() || answer.compare(0, head.size(), head) != 0 ||
      answer.compare(answer.size() - tail.size(), tail.size(), tail) != 0) {
    why = "not an issued card";
    return false;
  }
  const std::string digits = answer.substr(head.size(), answer.size() - head.size() - tail.size());
  std::int64_t value = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9' || value > (INT64_MAX - 9) / 10) {
      why = "card number " + digits;
      return false;
    }
    value = value * 10 + (c - '0');
  }
  if (value <= 0) {
    why = "card number " + digits;
    return false;
  }
  cardNo = value;
  return true;
}
