// Journal front-end: channels, types, global level, robustness of formatting.
#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"

namespace Orvo {
namespace {

class JournalLevel : public ::testing::Test {
protected:
  void TearDown() override { Journal::SetGlobalJournalLevel(0); }
};

TEST_F(JournalLevel, EntriesCarryChannelTypeAndText) {
  JournalCapture capture;
  Journal& journal = Context().journal();
  journal.jlow().jok("done {} \n", 1);
  journal.jmid().jwarn("careful {} \n", "x");
  journal.jhigh().vlog(Journal::Error, "failed '{}' \n", "y");

  const auto entries = capture.entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].text, "done 1 \n");
  EXPECT_EQ(entries[0].type, Journal::Ok);
  EXPECT_EQ(entries[0].importance, Journal::Low);
  EXPECT_EQ(entries[1].type, Journal::Warning);
  EXPECT_EQ(entries[1].importance, Journal::Mid);
  EXPECT_EQ(entries[2].text, "failed 'y' \n");
  EXPECT_EQ(entries[2].type, Journal::Error);
  EXPECT_EQ(entries[2].importance, Journal::High);
  EXPECT_EQ(entries[2].journal, "orvo2");
}

TEST_F(JournalLevel, LevelHidesLessImportantInformationOnly) {
  Journal& journal = Context().journal();
  Journal::SetGlobalJournalLevel(2);
  testing::internal::CaptureStdout();
  journal.jlow().vlog(Journal::Info, "hidden low \n");
  journal.jmid().jok("hidden mid \n");
  journal.jhigh().vlog(Journal::Info, "shown high \n");
  journal.jlow().jwarn("shown warning \n");
  journal.jlow().vlog(Journal::Error, "shown error \n");
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(out, "[orvo2][info] shown high \n[orvo2][warn] shown warning \n[orvo2][err ] shown error \n");

  Journal::SetGlobalJournalLevel(0);
  testing::internal::CaptureStdout();
  journal.jlow().vlog(Journal::Info, "low {} \n", 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "[orvo2][info] low 0 \n");
}

TEST_F(JournalLevel, BadFormatsAndLongTextsAreWrittenSafely) {
  Journal& journal = Context().journal();
  JournalCapture capture;
  testing::internal::CaptureStdout();
  journal.jhigh().vlog(Journal::Info, "broken {", 1);
  journal.jhigh().vlog(Journal::Info, "{} {} \n", "only one");
  journal.jhigh().vlog(Journal::Info, "{}", std::string(5000, 'z'));
  const std::string out = testing::internal::GetCapturedStdout();

  const auto entries = capture.entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].text, "broken {");
  EXPECT_EQ(entries[1].text, "{} {} \n");
  EXPECT_LT(entries[2].text.size(), 2048u);
  EXPECT_EQ(entries[2].text.find_first_not_of('z'), std::string::npos);
  EXPECT_EQ(out.back(), '\n');
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
}

}  // namespace
}  // namespace Orvo
