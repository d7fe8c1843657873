// Journal front-end: channels, types, global level, robustness of formatting,
// output of worker threads.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "wait_until.h"

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

// Standard output is a pipe that nobody reads until both worker threads have
// logged: neither waits for it, each thread's lines that got through keep
// their order, and the lines that did not fit are told as a count.
TEST_F(JournalLevel, WorkerThreadsNeverWaitForStandardOutput) {
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  ::fcntl(pipe_ends[1], F_SETPIPE_SZ, 4096);  // far fewer lines than are logged
  std::fflush(stdout);
  Journal::flush();
  const int saved_stdout = ::dup(STDOUT_FILENO);
  ::dup2(pipe_ends[1], STDOUT_FILENO);
  ::close(pipe_ends[1]);

  constexpr int per_thread = 3000;
  std::atomic<int> finished{0};
  const auto log_lines = [&](char tag) {
    for (int i = 0; i < per_thread; ++i) {
      Context().journal().jhigh().jwarn("{} {} \n", tag, i);
    }
    ++finished;
  };
  std::thread a(log_lines, 'a');
  std::thread b(log_lines, 'b');
  const bool never_waited = OrvoTest::wait_until([&] { return finished.load() == 2; }, std::chrono::seconds(5));

  std::string out;
  std::thread reader([&] {
    char chunk[65536];
    ssize_t n;
    while ((n = ::read(pipe_ends[0], chunk, sizeof(chunk))) > 0) {
      out.append(chunk, static_cast<size_t>(n));
    }
  });
  a.join();
  b.join();
  Journal::flush();
  ::dup2(saved_stdout, STDOUT_FILENO);  // the pipe's last writing end: the reader sees its end
  ::close(saved_stdout);
  reader.join();
  ::close(pipe_ends[0]);

  EXPECT_TRUE(never_waited);
  int last[2] = {-1, -1};
  int through = 0;
  long dropped = 0;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    char tag = 0;
    int n = 0;
    long count = 0;
    if (std::sscanf(line.c_str(), "[orvo2][warn] %c %d ", &tag, &n) == 2 && (tag == 'a' || tag == 'b')) {
      EXPECT_GT(n, last[tag - 'a']) << line;
      last[tag - 'a'] = n;
      ++through;
    } else if (std::sscanf(line.c_str(), "[orvo2][warn] %ld lines dropped ", &count) == 1) {
      dropped += count;
    } else {
      ADD_FAILURE() << "unexpected line: " << line;
    }
  }
  EXPECT_GT(dropped, 0);
  EXPECT_EQ(through + dropped, 2 * per_thread);
}

}  // namespace
}  // namespace Orvo
