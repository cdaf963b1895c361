#include "distribution/AlertsPush.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "ChildProcess.h"
#include "RecordingPushHost.h"

namespace tarnwell {
namespace {

using tarnwell::testing::TRecordingPushHost;
using tarnwell::testing::WaitUntil;

// Alert times are local; these tests pin the zone so that daylight saving is exercised.
void UseNewYorkTime() {
  ::setenv("TZ", "America/New_York", 1);
  ::tzset();
}

TEST(AlertsPushTest, EventTimesUseTheZoneRulesOfTheirOwnDate) {
  UseNewYorkTime();
  struct TCase {
    TDateTime local;
    std::int64_t unix;
  } cases[] = {
      {EncodeDateTime(2026, 12, 10, 9, 30), 1796913000},     // standard time
      {EncodeDateTime(2026, 7, 1, 9, 30), 1782912600},       // daylight time: an hour less from UTC
      {EncodeDateTime(2026, 3, 8, 1, 30), 1772951400},       // just before the spring change
      {EncodeDateTime(2026, 3, 8, 3, 30), 1772955000},       // an hour of wall clock later, one real hour
      {EncodeDateTime(2026, 11, 1, 0, 30), 1793507400},      // before the autumn change
      {EncodeDateTime(2026, 11, 1, 2, 30), 1793518200},      // after it: three real hours later
      {EncodeDateTime(2026, 12, 10, 9, 30, 0, 500), 1796913000},  // halves go to the even second
      {EncodeDateTime(2026, 12, 10, 9, 30, 1, 500), 1796913002},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(FormatLogStamp(c.local));
    EXPECT_EQ(UnixTimeOfEvent(c.local), c.unix);
    if (MsOf(c.local) % 1000 == 0) EXPECT_NEAR(clock::UnixSecondsToLocal(static_cast<double>(c.unix)), c.local, 1e-8);
  }
  EXPECT_THROW(UnixTimeOfEvent(EncodeDateTime(2040, 1, 1)), std::out_of_range);
}

TEST(AlertsPushTest, TheTestAlertRowHoldsEveryColumnInOrder) {
  UseNewYorkTime();
  const TMysqlClient& client = TMysqlClient::Instance();
  ASSERT_TRUE(client.Complete()) << client.Problem();
  const TAlertEventData data = MakeTestAlertEvent(EncodeDateTime(2026, 12, 10, 9, 30));
  const std::string values =
      "(from_unixtime(1796913000), \"DEMO\", \"TEST\", \"Initializing Velquist Cluster\", 50.00, 0.01, 200, 300, "
      "2.00, NULL, 20.00, 21.00, 75.00, 78.66, 999000, -500, -1000, -1500, -3000, 0, 2147483649.00, 0.00, 4.21, "
      "NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, 47, ";
  EXPECT_EQ(FormatAlertRow(client, data, "DEMO", "TEST", false), values + "\"N\")");
  EXPECT_EQ(FormatAlertRow(client, data, "DEMO", "TEST", true), values + "\"Y\")");
}

TEST(AlertsPushTest, TextsAreEscapedAndMissingOrUnwritableStatisticsAreNull) {
  UseNewYorkTime();
  TAlertEventData data;
  data.Time = EncodeDateTime(2026, 12, 10, 9, 30);
  data.Description = std::string("Said \"up\" \\ it's", 16) + std::string(1, '\0') + "\n";
  data.Price = 12.5;
  data.Mark(aefPrice);
  data.Quality = std::numeric_limits<double>::infinity();
  data.Mark(aefQuality);
  data.Num = 3;
  std::string nulls;  // the 26 statistics after the price, the infinite quality among them
  for (int i = 0; i < 26; ++i) nulls += ", NULL";
  const std::string want = "(from_unixtime(1796913000), \"NHP\", \"BRK.B\", \"Said \\\"up\\\" \\\\ it\\'s\\0\\n\", 12.50" +
                           nulls + ", 3, \"N\")";
  const TMysqlClient& client = TMysqlClient::Instance();
  ASSERT_TRUE(client.Complete()) << client.Problem();
  EXPECT_EQ(FormatAlertRow(client, data, "NHP", "BRK.B", false), want);
  // Without the library the same rules apply, so rows formatted meanwhile read the same.
  TMysqlClient missing({"/nonexistent/libnothing.so.3"});
  EXPECT_EQ(FormatAlertRow(missing, data, "NHP", "BRK.B", false), want);
}

TEST(AlertsPushTest, TheClientLibraryLoadStateSaysHowFarLoadingGot) {
  struct TCase {
    std::vector<std::string> candidates;
    TMysqlClient::TLoadState state;
    std::string problem;
  } cases[] = {
      {{"/nonexistent/libnothing.so.3"}, TMysqlClient::lsLoadFailed, "cannot load the MySQL client library"},
      {{"/nonexistent/libnothing.so.3", "libm.so.6"}, TMysqlClient::lsIncomplete, "libm.so.6 lacks mysql_init"},
      {TMysqlClient::DefaultCandidates(), TMysqlClient::lsComplete, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.candidates.back());
    TMysqlClient client(c.candidates);
    EXPECT_EQ(client.State(), c.state);
    EXPECT_NE(client.Problem().find(c.problem), std::string::npos) << client.Problem();
  }
}

// Nothing listens at port 1.
TPushSettings Unreachable() {
  return {.Host = "127.0.0.1", .Port = "1"};
}

TEST(AlertsPushTest, WhilePushIsOffWaitingRowsAreDroppedWithoutSending) {
  TRecordingPushHost host(Unreachable());
  TAlertsQueue queue(TMysqlClient::Instance(), &host);
  for (int i = 0; i < 60; ++i) queue.AddRow("(" + std::to_string(i) + ")");
  EXPECT_TRUE(WaitUntil([&] { return queue.Counts().Waiting == 0; }, std::chrono::milliseconds(300)));
  EXPECT_EQ(queue.Counts().Sent, 0);
  EXPECT_TRUE(host.Errors().empty()) << "nothing tried to connect";
}

TEST(AlertsPushTest, WithoutTheClientLibraryThePushSaysSoOnceAndKeepsTheRows) {
  TRecordingPushHost host(Unreachable());
  TMysqlClient missing({"/nonexistent/libnothing.so.3"});
  TAlertsQueue queue(missing, &host);
  queue.SetEnabled(true);
  queue.AddAlert(MakeTestAlertEvent(EncodeDateTime(2026, 12, 10, 9, 30)), "DEMO", "TEST");
  ASSERT_TRUE(WaitUntil([&] { return !host.Errors().empty(); }, std::chrono::seconds(2)));
  queue.AddRow("(2)");
  queue.Wake();
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  const std::vector<std::string> errors = host.Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("cannot load the MySQL client library"), std::string::npos) << errors[0];
  EXPECT_EQ(queue.Counts().Waiting, 2);
  EXPECT_EQ(queue.Counts().Sent, 0);
}

}  // namespace
}  // namespace tarnwell
