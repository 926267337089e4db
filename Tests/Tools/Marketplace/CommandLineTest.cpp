// The corvalle-marketplace program as scripts and the demonstration use it.

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "Source/Base/BrickStore/XmlParser.h"
#include "Tests/Tools/Marketplace/ClientReading.h"
#include "Tests/Support/LogCapture.h"
#include "Tests/Support/ReadFile.h"
#include "Tests/Tools/Marketplace/RawHttpClient.h"
#include "Tests/Support/TemporaryDirectory.h"
#include "Tools/Marketplace/World.h"

extern char** environ;

namespace {

// A child process whose standard output is a pipe; killed and reaped when the test ends.
class Program {
 public:
  explicit Program(std::vector<std::string> arguments) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
      return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    arguments.insert(arguments.begin(), CORVALLE_MARKETPLACE_PROGRAM);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
      argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    if (posix_spawn(&pid, CORVALLE_MARKETPLACE_PROGRAM, &actions, nullptr, argv.data(), environ) !=
        0) {
      pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    output = fdopen(pipeEnds[0], "r");
  }
  ~Program() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    if (output != nullptr) {
      fclose(output);
    }
  }

  std::string ReadLine() {
    std::string line;
    for (int character = fgetc(output); character != EOF && character != '\n';
         character = fgetc(output)) {
      line += static_cast<char>(character);
    }
    return line;
  }
  std::string ReadAll() {
    std::string text;
    char buffer[65536];
    for (std::size_t count; (count = fread(buffer, 1, sizeof buffer, output)) > 0;) {
      text.append(buffer, count);
    }
    return text;
  }
  // Sends the signal and returns the exit status, or -1 when the program did not exit normally.
  int Stop(int signal) {
    kill(pid, signal);
    return Wait();
  }
  int Wait() {
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid = -1;
  FILE* output = nullptr;
};

std::string SamplePath(const std::string& name) {
  return std::string(CORVALLE_SAMPLES_DIR) + "/" + name;
}

TEST(CommandLineTest, ServePrintsThePortAndServesUntilTerminated) {
  Program server({"serve", "--world", SamplePath("world.json"), "--port", "0"});
  const std::string portLine = server.ReadLine();
  ASSERT_FALSE(portLine.empty());
  const auto port = static_cast<std::uint16_t>(std::stoul(portLine));
  const Testing::RawResponse colors = Testing::Fetch(port, "/catalogColors.asp");
  EXPECT_EQ(colors.statusLine, "HTTP/1.0 200 OK");
  EXPECT_EQ(Testing::ReadColorPage(colors.body).value_or(Corvalle::BrickLink::ColorList()).size(),
            154U);
  const Testing::RawResponse guide = Testing::Fetch(
      port, "/catalogPG.asp?itemSeq=1&v=P&priceGroup=Y&prDec=2&itemType=P&itemNo=3001&colorID=86",
      "isCountryID=US;viewCurrencyID=1;");
  const auto read = Testing::ReadPriceGuidePage(guide.body);
  ASSERT_TRUE(read);
  EXPECT_FALSE(read->newGuide.IsEmpty());
  EXPECT_EQ(server.Stop(SIGTERM), 0);
}

TEST(CommandLineTest, ServeRefusesAMissingOrBrokenWorld) {
  Program missing({"serve", "--world", "/nonexistent/world.json"});
  EXPECT_EQ(missing.ReadAll(), "");
  EXPECT_EQ(missing.Wait(), 1);
  Program noWorld({"serve"});
  EXPECT_NE(noWorld.Wait(), 0);
}

TEST(CommandLineTest, GenerateReproducesTheSampleWorld) {
  // The recipe that the tool's README gives for Samples/world.json.
  Program generator({"generate", "--seed", "2015", "--stores", "300", "--items", "100", "--include",
                     SamplePath("castle-wall.xml"), "--include", SamplePath("space-shuttle.xml"),
                     "--include", SamplePath("town-corner.bsx")});
  const std::string generated = generator.ReadAll();
  EXPECT_EQ(generator.Wait(), 0);
  EXPECT_EQ(generated, Testing::ReadFile(SamplePath("world.json")));

  Program small({"generate", "--seed", "3", "--stores", "12", "--items", "4"});
  const auto world = Corvalle::Marketplace::World::FromJson(small.ReadAll());
  EXPECT_EQ(small.Wait(), 0);
  EXPECT_EQ(world.Stores().size(), 12U);
  EXPECT_EQ(world.PriceGuides().size(), 4U);

  Program unreadable({"generate", "--seed", "3", "--stores", "12", "--items", "4", "--include",
                      "/nonexistent/list.xml"});
  EXPECT_EQ(unreadable.ReadAll(), "");
  EXPECT_EQ(unreadable.Wait(), 1);
}

TEST(CommandLineTest, GenerateWritesAFamilyAndItsWantedList) {
  const Testing::LogCapture quiet;  // the wanted-list reader logs every item
  const Testing::TemporaryDirectory directory;
  const std::string listPath = (directory.Path() / "list.xml").string();
  Program generator(
      {"generate", "--family", "one-item", "--stores", "20", "--wanted-list", listPath});
  const auto world = Corvalle::Marketplace::World::FromJson(generator.ReadAll());
  EXPECT_EQ(generator.Wait(), 0);
  EXPECT_EQ(world.Stores().size(), 20U);
  ASSERT_EQ(world.PriceGuides().size(), 1U);
  const auto items = Corvalle::BrickStore::CreateXmlParser()->ParseItems(listPath.c_str());
  ASSERT_TRUE(items);
  ASSERT_EQ(items->size(), 1U);
  EXPECT_EQ(items->front().Id(), world.PriceGuides().front().id);
  EXPECT_EQ(items->front().Quantity(), 900U);

  // Without a family the sizes have no defaults; a list needs a family.
  Program unsized({"generate", "--stores", "12", "--items", "4"});
  EXPECT_EQ(unsized.ReadAll(), "");
  EXPECT_NE(unsized.Wait(), 0);
  Program listWithoutFamily(
      {"generate", "--seed", "3", "--stores", "12", "--items", "4", "--wanted-list", listPath});
  EXPECT_EQ(listWithoutFamily.ReadAll(), "");
  EXPECT_NE(listWithoutFamily.Wait(), 0);
}

}  // namespace
