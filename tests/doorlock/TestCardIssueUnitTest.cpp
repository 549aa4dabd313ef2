#include "doorlock/TestCardIssueUnit.h"

#include <gtest/gtest.h>

namespace {

// The stay the test dialog offers: an hour back and two days on, across day, month and year ends.
TEST(TestCardIssueUnitTest, InitialStay) {
  struct Row {
    const char* opened;
    const char* checkIn;
    const char* checkOut;
  } rows[] = {
      {"2024-01-05 13:05:09", "2024-01-05 12:05:09", "2024-01-07 13:05:09"},
      {"2024-03-01 00:30:00", "2024-02-29 23:30:00", "2024-03-03 00:30:00"},
      {"2023-12-31 23:59:59", "2023-12-31 22:59:59", "2024-01-02 23:59:59"},
      {"2025-02-27 09:00:00.999", "2025-02-27 08:00:00", "2025-03-01 09:00:00"},
  };
  for (const Row& row : rows) {
    const TTestStay stay = InitialTestStay(StrToDateTime(row.opened));
    EXPECT_EQ(stay.CheckIn, row.checkIn) << row.opened;
    EXPECT_EQ(stay.CheckOut, row.checkOut) << row.opened;
  }
}

}  // namespace
