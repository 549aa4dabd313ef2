#include "support/HostFixture.h"

#include <chrono>
#include <regex>
#include <thread>

#include "config/LogFileUnit.h"
#include "doorlock/BaseDoorlockUnit.h"
#include "host/RequestListenerUnit.h"
#include "host/StartupUnit.h"

void THostFixture::SetUp() {
  const std::string ini = OptionIni();
  if (!ini.empty()) WriteFileBytes(FDir.File("Option.ini"), ini);
  InitializeUnits(FDir.Path());
  const int kind = Kind();
  InterfaceKind = kind;
  KeepConnection = false;
  SetDoorlock(&FDevice);
  FServer = std::make_unique<TTcpServer>();
  FServer->SetPort(0);
  FServer->SetOnExecute([kind](TTcpConnection& c) { ServeConnection(kind, c, nullptr); });
  FServer->Activate();
}

void THostFixture::TearDown() {
  FServer->Deactivate();
  FServer.reset();
  ResetDoorlock();
  FinalizeUnits();
  InterfaceKind = 0;
  KeepConnection = false;
}

std::vector<std::string> THostFixture::LogLines() const {
  static const std::regex stamp(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} )");
  const std::string bytes = ReadFileBytes(LogFile->FileName);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find("\r\n", start);
    if (end == std::string::npos) end = bytes.size();
    lines.push_back(std::regex_replace(bytes.substr(start, end - start), stamp, "",
                                       std::regex_constants::format_first_only));
    start = end + 2;
  }
  return lines;
}

void THostFixture::WaitIdle() const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (FServer->ConnectionCount() > 0 && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void THostFixture::WaitLastLogLine(const std::string& line) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (std::chrono::steady_clock::now() < deadline) {
    const std::vector<std::string> lines = LogLines();
    if (!lines.empty() && lines.back() == line) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  WaitIdle();
}
