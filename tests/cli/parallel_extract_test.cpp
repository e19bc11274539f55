// `extract --jobs N`: several workers read and write the mails, and what comes out does not
// depend on N: the same folders and names (duplicates numbered in input order), the same
// messages, listing, JSON and manifest, byte for byte.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "cli/cli_front_end.h"
#include "cli/ordered_pipeline.h"
#include "platform/posix_platform.h"
#include "support/test_files.h"

namespace korvani {
namespace {

using testing::readFile;
using testing::runKorvani;
using testing::ScopedTempDir;
using testing::writeFile;

const std::string kCorpus = KORVANI_MAIL_CORPUS;

// Every file under `root` by its path below it, with its bytes; a folder as "path/".
std::map<std::string, std::string> treeOf(const std::string& root) {
  std::map<std::string, std::string> tree;
  if (!std::filesystem::exists(root)) return tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string path = entry.path().lexically_relative(root).string();
    tree[entry.is_directory() ? path + "/" : path] =
        entry.is_directory() ? std::string() : readFile(entry.path().string());
  }
  return tree;
}

// What one run leaves: its exit status, what it printed, the files it wrote and its manifest.
struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  std::map<std::string, std::string> files;
  std::string manifest;
};

// Runs `korvani extract ARGUMENTS --jobs N -d out --manifest manifest.json` in a folder of its
// own, so that every run names the same relative paths.
RunResult extractWith(const std::vector<std::string>& arguments, unsigned jobs) {
  ScopedTempDir place;
  std::vector<std::string> command = {"extract", "--jobs",     std::to_string(jobs), "-d",
                                      "out",     "--manifest", "manifest.json"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  const auto result = runKorvani(command, place.path());
  return {result.exitCode, result.out, result.err, treeOf(place.file("out")),
          readFile(place.file("manifest.json"))};
}

// Mails to run over, made once: the corpus copied under names whose stems collide (two mails
// named "a" want the same subfolder), a folder of many copies for the workers to race over, and
// an mbox of the corpus's mails.
class ParallelExtractTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    inputs = new ScopedTempDir;
    std::vector<std::string> mails;
    for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
      const std::string name = entry.path().filename().string();
      if (entry.is_regular_file() && name.size() > 4 && name.substr(name.size() - 4) == ".eml") {
        mails.push_back(name);
      }
    }
    std::sort(mails.begin(), mails.end());
    std::filesystem::create_directory(inputs->file("many"));
    std::string mbox;
    for (std::size_t copy = 0; copy < 6; ++copy) {
      for (std::size_t n = 0; n < mails.size(); ++n) {
        const std::string bytes = readFile(kCorpus + "/" + mails[n]);
        // "03-a.eml" and "03-a.txt" are two mails with the stem "03-a".
        const std::string stem = std::to_string(copy) + std::to_string(n % 7) + "-a";
        writeFile(inputs->file("many/" + stem + (n % 2 == 0 ? ".eml" : ".txt")), bytes);
        if (copy == 0) mbox += "From sender@example.com Mon Jun 10 10:00:00 2024\n" + bytes + "\n";
      }
    }
    writeFile(inputs->file("box.mbox"), mbox);
  }
  static void TearDownTestSuite() {
    delete inputs;
    inputs = nullptr;
  }

  // Runs `arguments` with 1, 2 and 8 jobs and expects the three to leave the same.
  static void expectTheSameForAnyJobs(const std::vector<std::string>& arguments) {
    const RunResult one = extractWith(arguments, 1);
    EXPECT_TRUE(!one.files.empty() || !one.out.empty()) << "nothing came out";
    for (const unsigned jobs : {2U, 8U}) {
      const RunResult many = extractWith(arguments, jobs);
      EXPECT_EQ(many.exitCode, one.exitCode) << jobs << " jobs";
      EXPECT_EQ(many.out, one.out) << jobs << " jobs";
      EXPECT_EQ(many.err, one.err) << jobs << " jobs";
      EXPECT_EQ(many.manifest, one.manifest) << jobs << " jobs";
      EXPECT_EQ(many.files.size(), one.files.size()) << jobs << " jobs";
      EXPECT_TRUE(many.files == one.files) << jobs << " jobs: the files differ";
    }
  }

  static inline ScopedTempDir* inputs = nullptr;
};

TEST_F(ParallelExtractTest, FilesNamesMessagesAndManifestDoNotDependOnTheJobs) {
  for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
           {kCorpus},
           {kCorpus, "-v"},
           {inputs->file("many")},
           {inputs->file("many"), "--layout", "flat"},  // one folder: "a (2).pdf" in input order
           {inputs->file("box.mbox")},
           {inputs->file("box.mbox"), "--layout", "flat", inputs->file("many")},
           {kCorpus, "--unpack"},
       }) {
    SCOPED_TRACE(arguments.back());
    expectTheSameForAnyJobs(arguments);
  }
}

TEST_F(ParallelExtractTest, TheListingAndTheJsonDoNotDependOnTheJobs) {
  for (const char* mode : {"--list", "--json"}) {
    for (const std::string& input : {kCorpus, inputs->file("many"), inputs->file("box.mbox")}) {
      SCOPED_TRACE(std::string(mode) + " " + input);
      expectTheSameForAnyJobs({mode, input});
    }
  }
}

TEST_F(ParallelExtractTest, ASecondRunKeepsEveryFileWhateverTheJobs) {
  ScopedTempDir place;
  const std::vector<std::string> first = {
      "extract", "--jobs", "4", "-d", "out", inputs->file("many"), "--layout", "flat"};
  const int status = runKorvani(first, place.path()).exitCode;
  const auto tree = treeOf(place.file("out"));
  std::vector<std::string> again = first;
  again.push_back("--skip-existing");
  again.push_back("-v");
  const auto result = runKorvani(again, place.path());
  EXPECT_EQ(result.exitCode, status) << result.err;  // the corpus's damaged mails fail again
  EXPECT_TRUE(treeOf(place.file("out")) == tree);
  EXPECT_EQ(result.out, "");
  // One "kept" line per file, in input order: the same as one job says.
  again[2] = "1";
  EXPECT_EQ(runKorvani(again, place.path()).err, result.err);
}

// In this process, so that ThreadSanitizer sees the workers of a real run on the real disk.
TEST_F(ParallelExtractTest, InProcessARunOfEightJobsWritesWhatOneJobWrites) {
  ScopedTempDir place;
  PosixPlatform platform;
  const std::string many = inputs->file("many");
  const std::string box = inputs->file("box.mbox");
  std::vector<int> statuses;
  for (const char* jobs : {"1", "8"}) {
    const std::string out = place.file(std::string("out") + jobs);
    const std::vector<const char*> argv = {"korvani", "extract",    "--jobs",    jobs,
                                           "-q",      "-d",         out.c_str(), "--layout",
                                           "flat",    many.c_str(), box.c_str()};
    std::FILE* errors = std::tmpfile();
    cli::Environment environment{platform, errors};
    statuses.push_back(cli::run(static_cast<int>(argv.size()), argv.data(), environment));
    std::fclose(errors);
  }
  EXPECT_EQ(statuses[0], statuses[1]);
  const auto one = treeOf(place.file("out1"));
  EXPECT_GT(one.size(), 100U);
  EXPECT_TRUE(treeOf(place.file("out8")) == one);
}

// The steps of the pipeline on many threads: every job is claimed and finished in the order it
// was made, never more than the window in flight, and a finish that says stop ends the run.
TEST(OrderedPipelineTest, ClaimsAndFinishesInOrderWithinTheWindow) {
  for (const std::size_t workers : {1U, 2U, 8U}) {
    for (const std::size_t stopAt : {std::size_t{1000}, std::size_t{37}}) {
      std::size_t made = 0;
      std::vector<std::size_t> claimed;
      std::vector<std::size_t> finished;
      std::mutex guard;
      std::size_t inFlight = 0;
      std::size_t mostInFlight = 0;
      cli::PipelineSteps<std::size_t> steps;
      steps.make = [&](std::size_t& job) {
        if (made == 1000) return false;
        job = made++;
        const std::lock_guard<std::mutex> held(guard);
        mostInFlight = std::max(mostInFlight, ++inFlight);
        return true;
      };
      steps.parse = [](std::size_t& job) { job *= 3; };
      steps.claim = [&](std::size_t& job) { claimed.push_back(job / 3); };
      steps.work = [](std::size_t& job) { job += 1; };
      steps.finish = [&](std::size_t& job) {
        finished.push_back((job - 1) / 3);
        const std::lock_guard<std::mutex> held(guard);
        --inFlight;
        return finished.size() < stopAt;
      };
      cli::runPipeline(workers, 16, steps);
      SCOPED_TRACE(std::to_string(workers) + " workers");
      const std::size_t count = std::min<std::size_t>(stopAt, 1000);
      ASSERT_EQ(finished.size(), count);
      for (std::size_t n = 0; n < count; ++n) EXPECT_EQ(finished[n], n);
      for (std::size_t n = 0; n < claimed.size(); ++n) EXPECT_EQ(claimed[n], n);
      EXPECT_LE(mostInFlight, 16U);
    }
  }
}

}  // namespace
}  // namespace korvani
