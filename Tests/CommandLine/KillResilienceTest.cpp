// A search killed outright (a closed terminal, the out-of-memory killer, kill -9) must leave a
// cache that the next search can use as it is, whatever statement the kill interrupts: SQLite
// keeps that promise for a process that dies only when every entry is written in one
// transaction, and a cache that fails it is either moved aside as damaged or, worse, serves a
// price guide with part of its lots as if it were whole.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Source/CommandLine/FindCommand.h"
#include "Tests/Support/LiveMarketplace.h"
#include "Tests/Support/ProgramRunner.h"
#include "Source/Base/SQLite/SqliteWrapper.h"
#include "Tests/Support/ScopedEnvironment.h"
#include "Tests/Support/TemporaryDirectory.h"
#include "Tools/Marketplace/WorldGenerator.h"

namespace Corvalle::CommandLine {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::microseconds;

// The stages of a search as the program announces them on standard error, in order. Colours,
// price guides and stores are the ones that store what they fetch; Starting (before the first
// line) writes the preferences and makes the tables.
enum class Stage { Starting, Colors, WantedList, PriceGuides, Consolidating, Stores, Searching };

struct StageLine {
  Stage stage;
  const char* prefix;
};

constexpr StageLine kStageLines[] = {
    {Stage::Colors, "Retrieving color data..."},
    {Stage::WantedList, "Parsing wanted list "},
    {Stage::PriceGuides, "Retrieving price guide data..."},
    {Stage::Consolidating, "Consolidating lot data..."},
    {Stage::Stores, "Retrieving metadata for "},
    {Stage::Searching, "Pruning stores..."},
};

// The stages that store what they fetch: the start of the names of the entries each stores, and
// the stage that follows it.
struct StoringStage {
  Stage stage;
  const char* entries;
  Stage next;
};

constexpr StoringStage kStoringStages[] = {
    {Stage::Colors, "colours", Stage::WantedList},
    {Stage::PriceGuides, "price guide ", Stage::Consolidating},
    {Stage::Stores, "store ", Stage::Searching},
};

const char* StageName(Stage stage) {
  static constexpr const char* kNames[] = {
      "starting", "colours", "wanted list", "price guides", "consolidating", "stores", "searching"};
  return kNames[static_cast<int>(stage)];
}

// The stages announced in the text, in order. Steps are indented and log records begin with
// "[", so neither can pass for a stage.
std::vector<Stage> AnnouncedStages(const std::string& errors) {
  std::vector<Stage> stages;
  std::istringstream lines(errors);
  for (std::string line; std::getline(lines, line);) {
    for (const StageLine& known : kStageLines) {
      if (line.rfind(known.prefix, 0) == 0) {
        stages.push_back(known.stage);
      }
    }
  }
  return stages;
}

// What a cache holds, read through a connection of the test's own. Entries are what the program
// stores at once: the colour table, a price guide with its lots, a store; each is kept as text
// without its time of storing, so that the entries of two caches can be compared.
struct CacheState {
  std::string integrity;  // the rows of integrity_check, "ok" for a sound file
  std::int64_t brokenReferences = 0;
  std::map<std::string, std::string> entries;

  // The share of a storing stage's entries in a full cache that this one lacks.
  double LeftToStore(const StoringStage& storing, const CacheState& full) const {
    return 1.0 - static_cast<double>(Count(storing.entries)) / full.Count(storing.entries);
  }
  std::int64_t Count(std::string_view names) const {
    return std::ranges::count_if(
        entries, [names](const auto& entry) { return entry.first.starts_with(names); });
  }
};

void ReadEntries(const Sqlite::IDatabase& database, CacheState& state) {
  const std::string guide =
      "'price guide ' || printf('%s|%s|%s|%s|%s', ItemType, ItemID, Color, Country, Currency)";
  // Each query gives an entry's name and one of its lines; a guide's lots in the order stored,
  // which is the page's.
  const std::pair<const char*, std::string> queries[] = {
      {"ColorInformation",
       "SELECT 'colours', printf('%s|%s|%s', ColorID, Name, RgbValue) FROM ColorInformation "
       "ORDER BY ColorID"},
      {"PriceGuideItems", "SELECT " + guide + ", '' FROM PriceGuideItems"},
      {"PriceGuideData", "SELECT " + guide +
                             ", printf('%s|%s|%s|%s', Condition, StoreID, Quantity, Price) FROM "
                             "PriceGuideData ORDER BY rowid"},
      {"StoreInformation",
       "SELECT 'store ' || StoreID, printf('%s|%s', Name, CountryID) FROM StoreInformation"},
  };
  for (const auto& [table, query] : queries) {
    // A table that is missing, as before the stage that makes it, counts no rows.
    if (database.GetRowCount(table) == 0) {
      continue;
    }
    const auto rows = database.CreateReadStatement(query.c_str());
    while (const Sqlite::IRow* row = rows->AdvanceRow()) {
      state.entries[row->GetText(0)] += row->GetText(1) + '\n';
    }
  }
}

CacheState ReadCache(const fs::path& database) {
  CacheState state;
  try {
    const auto connection = Sqlite::OpenMutableDatabase(database.c_str());
    const auto rows = connection->CreateReadStatement("SELECT * FROM pragma_integrity_check");
    while (const Sqlite::IRow* row = rows->AdvanceRow()) {
      if (!state.integrity.empty()) {
        state.integrity += '\n';
      }
      state.integrity += row->GetText(0);
    }
    // Lots whose price guide is gone.
    state.brokenReferences =
        connection->ReadSingleInteger("SELECT COUNT(*) FROM pragma_foreign_key_check");
    ReadEntries(*connection, state);
  } catch (const std::exception& error) {
    state.integrity = std::string("cannot be read: ") + error.what();
  }
  return state;
}

// The first entry of the cache that a full cache does not hold as it is, such as a price guide
// with part of its lots; "" when every entry is whole.
std::string FirstPartialEntry(const CacheState& state, const CacheState& full) {
  for (const auto& [key, content] : state.entries) {
    const auto whole = full.entries.find(key);
    if (whole == full.entries.end()) {
      return key + " is not in a full cache";
    }
    if (whole->second != content) {
      return key + " differs from a full cache's";
    }
  }
  return {};
}

// Reads a copy, so that a journal the kill left behind is rolled back by the next search, as
// it would be after a real kill, and not by the check.
CacheState ReadCacheCopy(const fs::path& cacheDirectory, const fs::path& scratch) {
  fs::remove_all(scratch);
  fs::create_directories(scratch);
  for (const char* suffix : {"", "-journal", "-wal"}) {
    const fs::path original = cacheDirectory / (std::string(Sqlite::kDatabaseFileName) + suffix);
    if (fs::exists(original)) {
      fs::copy_file(original, scratch / original.filename());
    }
  }
  return ReadCache(scratch / Sqlite::kDatabaseFileName);
}

// How many files a damaged cache was moved aside as.
std::ptrdiff_t FilesMovedAside(const fs::path& cacheDirectory) {
  return std::ranges::count_if(fs::directory_iterator(cacheDirectory), [](const auto& entry) {
    return entry.path().filename().string().find(".damaged-") != std::string::npos;
  });
}

struct KillAim {
  Stage stage;
  microseconds after;  // from the moment the stage's line is seen
};

struct WatchedRun {
  bool killed = false;
  int exitStatus = -1;  // -1 when killed or not ended normally
  Stage lastStage = Stage::Starting;
  std::map<Stage, Clock::duration> reached;  // when each stage's line was seen, from the start
  Clock::duration took{};
  std::string output;
  std::string errors;
};

// A wanted list of parts and a minifigure, in both conditions.
const std::vector<Marketplace::IncludedItem> kWantedLots = {
    {'P', "3001", 11, 8, "", 'N'},  {'P', "3003", 5, 12, "", 'U'},  {'P', "3004", 86, 20, "", 'N'},
    {'P', "3010", 85, 10, "", 'U'}, {'P', "3062b", 86, 6, "", 'N'}, {'P', "3023", 2, 16, "", 'N'},
    {'P', "3024", 86, 24, "", 'U'}, {'P', "3710", 2, 8, "", 'N'},   {'P', "3069b", 1, 6, "", 'U'},
    {'P', "3039", 5, 4, "", 'N'},   {'P', "4070", 86, 6, "", 'N'},  {'M', "cas002", 0, 1, "", 'U'},
};

// A marketplace of a few dozen stores: each store the search meets is stored in a write of its
// own, so the store count sets how long a search on an empty cache lasts.
std::string SmallWorld() {
  Marketplace::GeneratorOptions options;
  options.seed = 2015;
  options.stores = 40;
  options.items = 16;
  options.include = kWantedLots;
  return Marketplace::GenerateWorld(options).ToJson();
}

class KillResilienceTest : public ::testing::Test {
 protected:
  KillResilienceTest()
      : marketplace(SmallWorld()),
        runner(CORVALLE_PROGRAM, files.Path()),
        arguments({"find",
                   files.WriteFile("wanted.xml", Marketplace::WantedListXml(kWantedLots)).string(),
                   "--stores", "3", "--threads", "1", "--region", "North America", "--region",
                   "Europe"}) {
    // Every page a little late, so that on a fast disk too a stage lasts long enough to be aimed
    // at from outside the process; the program stores each page right after it arrives.
    marketplace.Server().SetFault(".", Marketplace::Fault::Delay(std::chrono::milliseconds(2)));
  }

  // Runs the program and follows its stages on standard error; with an aim, kills it that long
  // after the aimed stage's line shows up.
  WatchedRun Watch(const std::string& name, std::optional<KillAim> aim = std::nullopt) {
    WatchedRun run;
    const Clock::time_point start = Clock::now();
    const pid_t pid = runner.Start(arguments, name);
    if (pid == -1) {
      ADD_FAILURE() << "The program could not be started";
      return run;
    }
    std::optional<Clock::time_point> deadline;
    int status = 0;
    for (;;) {
      // The child is reaped here or after the kill, never before it: a reaped process id may
      // belong to another process by the time of the kill.
      const pid_t waited = waitpid(pid, &status, WNOHANG);
      if (waited == pid || (waited == -1 && errno != EINTR)) {
        break;
      }
      const Clock::time_point now = Clock::now();
      const std::vector<Stage> stages = AnnouncedStages(runner.Errors(name));
      for (const Stage stage : stages) {
        run.reached.emplace(stage, now - start);
      }
      if (aim && !deadline && run.reached.count(aim->stage) != 0) {
        deadline = start + run.reached[aim->stage] + aim->after;
      }
      const bool hung = now - start > std::chrono::seconds(30);
      if ((deadline && now >= *deadline) || hung) {
        kill(pid, SIGKILL);
        while (waitpid(pid, &status, 0) == -1 && errno == EINTR) {
        }
        EXPECT_FALSE(hung) << "The program neither ended nor reached the "
                           << StageName(aim ? aim->stage : Stage::Searching) << " stage";
        break;
      }
      const Clock::time_point wake = now + microseconds(500);
      std::this_thread::sleep_until(deadline ? std::min(wake, *deadline) : wake);
    }
    run.took = Clock::now() - start;
    run.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.output = runner.Output(name);
    run.errors = runner.Errors(name);
    const std::vector<Stage> stages = AnnouncedStages(run.errors);
    // Stages announced after the last look, just before the end, were reached by then.
    for (const Stage stage : stages) {
      run.reached.emplace(stage, run.took);
    }
    run.lastStage = stages.empty() ? Stage::Starting : stages.back();
    return run;
  }

  Testing::LiveMarketplace marketplace;
  Testing::TemporaryDirectory files;
  Testing::ProgramRunner runner;
  std::vector<std::string> arguments;
};

TEST_F(KillResilienceTest, ACacheKilledWhileBeingWrittenServesTheNextSearchWhole) {
  constexpr std::uint32_t kSeed = 20150607;
  constexpr int kMoments = 16;

  // A clean run on a fresh cache: the plans every later search must print, what a full cache
  // holds, and how long each storing stage lasts when it has everything to fetch.
  const Testing::TemporaryDirectory cleanHome;
  WatchedRun clean;
  {
    const Testing::ScopedEnvironment home("XDG_CACHE_HOME", cleanHome.Path().c_str());
    clean = Watch("clean");
  }
  ASSERT_EQ(clean.exitStatus, kPlansFound) << clean.errors;
  ASSERT_NE(clean.output.find("Combination #1 - Total Cost: "), std::string::npos) << clean.output;
  EXPECT_EQ(clean.errors.find("[error]"), std::string::npos) << clean.errors;
  EXPECT_EQ(clean.errors.find("[warning]"), std::string::npos) << clean.errors;
  const CacheState full = ReadCache(cleanHome.Path() / "corvalle" / Sqlite::kDatabaseFileName);
  ASSERT_EQ(full.integrity, "ok");
  ASSERT_EQ(full.brokenReferences, 0);
  ASSERT_EQ(clean.reached.size(), std::size(kStageLines)) << clean.errors;
  std::map<Stage, microseconds> windows;
  for (const StoringStage& storing : kStoringStages) {
    ASSERT_GT(full.Count(storing.entries), 0) << storing.entries;
    windows[storing.stage] = std::chrono::duration_cast<microseconds>(
        clean.reached.at(storing.next) - clean.reached.at(storing.stage));
  }

  // Kills come in groups on one cache: the first of a group on a fresh cache, the others on
  // what the kills before left, each aimed at a stage that still has pages to store, at a
  // seeded moment within the time that stage took in the clean run; a search to the end closes
  // the group.
  std::mt19937 random(kSeed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::uniform_int_distribution<int> groupSize(1, 3);
  std::set<Stage> writingStagesHit;
  int moment = 0;
  for (int group = 1; moment < kMoments; ++group) {
    const Testing::TemporaryDirectory home;
    const Testing::ScopedEnvironment homeVariable("XDG_CACHE_HOME", home.Path().c_str());
    const fs::path cacheDirectory = home.Path() / "corvalle";
    CacheState before;
    const int kills = std::min(groupSize(random), kMoments - moment);
    for (int killInGroup = 1; killInGroup <= kills; ++killInGroup, ++moment) {
      const double when = unit(random);
      // The storing stages take turns, a stage with nothing left to store passing its turn on;
      // a stage with part of its pages stored is over sooner.
      std::optional<std::pair<Stage, double>> aimed;
      for (std::size_t turn = 0; turn < std::size(kStoringStages) && !aimed; ++turn) {
        const StoringStage& candidate =
            kStoringStages[(static_cast<std::size_t>(moment) + turn) % std::size(kStoringStages)];
        if (const double share = before.LeftToStore(candidate, full); share > 0.0) {
          aimed = {candidate.stage, share};
        }
      }
      if (!aimed) {
        break;
      }
      const auto& [target, share] = *aimed;
      const microseconds after(
          static_cast<microseconds::rep>(when * share * windows.at(target).count()));
      std::ostringstream label;
      label << "seed " << kSeed << ", moment " << moment + 1 << " (group " << group << ", kill "
            << killInGroup << "): " << after.count() << " us into " << StageName(target);
      SCOPED_TRACE(label.str());

      const WatchedRun run = Watch("moment-" + std::to_string(moment + 1), KillAim{target, after});
      const CacheState state = ReadCacheCopy(cacheDirectory, files.Path() / "copy");
      EXPECT_EQ(state.integrity, "ok");
      EXPECT_EQ(state.brokenReferences, 0);
      EXPECT_EQ(FilesMovedAside(cacheDirectory), 0);
      // Each colour table, price guide and store is stored whole or not at all.
      EXPECT_EQ(FirstPartialEntry(state, full), "");
      if (!run.killed) {
        // The kill came too late: the search ended, and as a search on this cache should.
        EXPECT_EQ(run.exitStatus, kPlansFound) << run.errors;
        EXPECT_EQ(run.output, clean.output);
      }

      // A kill counts for a stage only when that stage still had pages to store.
      const bool hadWork = std::ranges::any_of(kStoringStages, [&](const StoringStage& storing) {
        return storing.stage == run.lastStage && before.LeftToStore(storing, full) > 0.0;
      });
      if (run.killed && hadWork) {
        writingStagesHit.insert(run.lastStage);
      }
      before = state;
    }

    SCOPED_TRACE("seed " + std::to_string(kSeed) + ", search after group " + std::to_string(group));
    // A search to its end finds what the clean run found, and says nothing of a damaged cache
    // or of records it could not read.
    const WatchedRun complete = Watch("after-group-" + std::to_string(group));
    ASSERT_EQ(complete.exitStatus, kPlansFound) << complete.errors;
    EXPECT_EQ(complete.output, clean.output);
    for (const char* trouble : {"damaged", "[error]", "[warning]"}) {
      EXPECT_EQ(complete.errors.find(trouble), std::string::npos) << complete.errors;
    }
    const CacheState after = ReadCache(cacheDirectory / Sqlite::kDatabaseFileName);
    EXPECT_EQ(after.integrity, "ok");
    EXPECT_EQ(after.brokenReferences, 0);
    // Whole, and all there: what the search fetched again is what a clean run stores.
    EXPECT_EQ(FirstPartialEntry(after, full), "");
    EXPECT_EQ(after.entries.size(), full.entries.size());
  }

  // Kills that all missed the writes would prove nothing.
  EXPECT_GE(writingStagesHit.size(), 2u);
}

}  // namespace
}  // namespace Corvalle::CommandLine
